// What the interpreter writes in UTF-16LE reaches our stream as Big5, with
// the platform's own line ends, however the pipe cuts it into pieces.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "shell/relay.h"
#include "text/unicode.h"

namespace {

std::string utf16le(const std::string& utf8) {
    std::string bytes;
    for (char16_t unit : text::utf8_to_utf16(utf8)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string written(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string bytes;
    int c;
    while ((c = std::fgetc(file)) != EOF) bytes += static_cast<char>(c);
    std::fseek(file, 0, SEEK_END);  // a write may follow the read
    return bytes;
}

// The interpreter's bytes cut at the given offsets, relayed, then ended.
std::string relay_in_pieces(const std::string& bytes, const std::vector<size_t>& cuts) {
    std::FILE* file = std::tmpfile();
    shell::Relay relay{file, {}, {}};
    size_t from = 0;
    for (size_t cut : cuts) {
        shell::relay_bytes(relay, bytes.data() + from, cut - from);
        from = cut;
    }
    shell::relay_bytes(relay, bytes.data() + from, bytes.size() - from);
    shell::end_relay(relay);
    std::string out = written(file);
    std::fclose(file);
    return out;
}

struct Case {
    const char* what;
    std::string bytes;
    std::vector<size_t> cuts;
    std::string want;
};

TEST(Relay, Big5WithTextModeLineEndsHoweverThePipeCutsIt) {
    const std::string not_found = utf16le("File Not Found\r\n");
    const std::string clef = utf16le("a\xF0\x9D\x84\x9E" "b\r\n");  // G clef: two UTF-16 units
    const Case cases[] = {
        {"CR LF in one piece", not_found, {}, "File Not Found\n"},
        {"CR and LF in two pieces", utf16le("ab\r\ncd\r\n"), {6}, "ab\ncd\n"},
        {"a unit cut in half", utf16le("ab\r\n"), {1, 3, 5}, "ab\n"},
        {"a surrogate pair cut between its units", clef, {4}, "a?b\n"},
        {"Big5 text", utf16le("\xE6\x8C\x89\xE4\xB8\x8B\r\n"), {}, "\xAB\xF6\xA4\x55\n"},  // 按下
        {"control characters become ?, tabs stay", utf16le("a\x07\tb\r\n"), {}, "a?\tb\n"},
        {"a lone CR or LF stays", utf16le("a\rb\nc\r"), {}, "a\rb\nc\r"},
        {"half a character at the end", utf16le("ab") + std::string("\x41", 1), {}, "ab?"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(relay_in_pieces(c.bytes, c.cuts), c.want) << c.what;
    }
}

TEST(Relay, APromptWithoutLineEndIsWrittenAtOnceAndWholeLinesWait) {
    std::FILE* file = std::tmpfile();
    shell::Relay relay{file, {}, {}};
    const std::string line = utf16le("File Not Found\r\n");
    shell::relay_bytes(relay, line.data(), line.size());
    EXPECT_EQ(written(file), "");
    const std::string prompt = utf16le("Press any key to continue... ");
    shell::relay_bytes(relay, prompt.data(), prompt.size());
    EXPECT_EQ(written(file), "File Not Found\nPress any key to continue... ");
    shell::end_relay(relay);
    std::fclose(file);
}

}  // namespace
