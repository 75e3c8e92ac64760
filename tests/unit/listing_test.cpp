#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/listing.h"

namespace {

// UTF-16LE bytes of UTF-8 text, as cmd /u writes a listing.
std::string utf16le(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST(Listing, NamesAreWholeUtf16Lines) {
    struct Case {
        std::u16string content;
        std::vector<std::string> names;
    } cases[] = {
        {u"", {}},
        {u"\r\n\r\n", {}},
        {u"a.exe\r\nb.cmd\r\n", {"a.exe", "b.cmd"}},
        {u"My Music\r\n", {"My Music"}},
        {u"\r\n  two  blanks \r\n\r\nx\r\n", {"  two  blanks ", "x"}},
        {u"last without line end", {"last without line end"}},
        // Names exactly as on the drive: no code page, no look-alike.
        {u"Ph\u014dtos\r\n\u529f\u8ab2.exe\r\ncaf\u00e9\r\n\uff24ocs\r\n",
         {"Ph\xC5\x8Dtos", "\xE5\x8A\x9F\xE8\xAA\xB2.exe", "caf\xC3\xA9", "\xEF\xBC\xA4ocs"}},
        // A line end inside a name stays in it; only CR LF ends a line.
        {u"x\nDocs\r\nCR\rin\r\n", {"x\nDocs", "CR\rin"}},
        // Outside the BMP, and a lone surrogate that still converts back exactly.
        {u"\U0001F600.exe\r\n\xD800x\r\n", {"\xF0\x9F\x98\x80.exe", "\xED\xA0\x80x"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shell::split_listing(utf16le(c.content)), c.names);
    }
    std::u16string long_name(300, u'n');
    EXPECT_EQ(shell::split_listing(utf16le(long_name + u".exe\r\n")),
              std::vector<std::string>{std::string(300, 'n') + ".exe"});
}

TEST(Listing, OddLastByteIsDropped) {
    EXPECT_EQ(shell::split_listing(utf16le(u"a.exe\r\n") + "b"), std::vector<std::string>{"a.exe"});
}

}  // namespace
