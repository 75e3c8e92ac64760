#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "shell/listing.h"

namespace {

std::vector<std::string> names_in(const std::string& content) {
    std::FILE* stream = std::tmpfile();
    std::fwrite(content.data(), 1, content.size(), stream);
    std::rewind(stream);
    std::vector<std::string> names;
    std::string name;
    while (shell::read_name(stream, name)) names.push_back(name);
    std::fclose(stream);
    return names;
}

TEST(Listing, ReadNameTakesWholeLines) {
    struct Case {
        std::string content;
        std::vector<std::string> names;
    } cases[] = {
        {"", {}},
        {"\r\n\r\n", {}},
        {"a.exe\r\nb.cmd\r\n", {"a.exe", "b.cmd"}},
        {"My Music\r\n", {"My Music"}},
        {"Setup Tool.exe\nlast", {"Setup Tool.exe", "last"}},
        {"\r\n  two  blanks \r\n\r\nx\r\n", {"  two  blanks ", "x"}},
        {std::string(300, 'n') + ".exe\r\n", {std::string(300, 'n') + ".exe"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(names_in(c.content), c.names) << c.content;
    }
}

}  // namespace
