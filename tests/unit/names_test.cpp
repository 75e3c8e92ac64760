#include <gtest/gtest.h>

#include "shell/names.h"

namespace {

TEST(Names, PlainNames) {
    struct Case {
        const char* name;
        bool plain;
    } cases[] = {
        {"virus.exe", true},
        {"My Music", true},
        {"a&b.bat", true},
        {"c;d,e=f(g)'h!^.cmd", true},
        {" leading.exe", true},
        {"", false},
        {".", false},
        {"..", false},
        {"P?Q", false},
        {"*.exe", false},
        {"a\\b.exe", false},
        {"a/b.exe", false},
        {"C:x.exe", false},
        {"say\"hi\".exe", false},
        {"a<b.exe", false},
        {"a>b.exe", false},
        {"a|b.exe", false},
        {"%PATH%.exe", false},
        {"100%.exe", false},
        {"tab\t.exe", false},
        {"Music ", false},
        {"Music.", false},
        // Characters, not bytes: Big5 second bytes 0x5C and 0x7C are no separators here.
        {"\xE5\x8A\x9F\xE8\xAA\xB2", true},          // 功課
        {"\xE8\xA8\xB1\xE8\x93\x8B.exe", true},      // 許蓋.exe
        {"\xE5\x9B\x9B\xE5\xB9\xB4\xE7\xB4\x9A", true},  // 四年級
        {"Ph\xC5\x8Dtos", true},
        {"\xED\x9C\x95.exe", true},  // a Hangul syllable Big5 lacks
        {"x\nDocs", false},
        {"\xED\xA0\x80x.exe", false},  // lone surrogate
        {"\xFF" "bad.exe", false},          // not UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shell::is_plain_name(c.name), c.plain) << '"' << c.name << '"';
    }
}

TEST(Names, DeviceNames) {
    struct Case {
        const char* name;
        bool device;
    } cases[] = {
        {"CON", true},       {"con.exe", true},    {"Nul.txt.exe", true}, {"aux", true},
        {"PRN.bat", true},   {"COM1.exe", true},   {"com9", true},        {"LPT1.exe", true},
        {"lpt9.com", true},  {"COM\xC2\xB9.exe", true}, {"LPT\xC2\xB3", true},  {"NUL .exe", true},
        {"CONIN$", true},    {"conout$.exe", true},
        {"COM0.exe", false}, {"COM10.exe", false}, {"CONSOLE.exe", false}, {"xCON.exe", false},
        {"LPT.exe", false},  {"COM\xC2\xB4", false},  {".con", false},        {"COM1x.exe", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shell::is_device_name(c.name), c.device) << c.name;
        if (c.device) EXPECT_FALSE(shell::is_plain_name(c.name)) << c.name;
    }
}

TEST(Names, ExecutableExtensions) {
    struct Case {
        const char* name;
        bool executable;
    } cases[] = {
        {"a.com", true},   {"a.BAT", true},      {"a.Exe", true},      {"a.bin", true},
        {"a.cmd", true},   {"photo.bath", false}, {"notes.exe1", false}, {"letter.comics", false},
        {"a.scr", false},  {".exe", true},        {"exe", false},       {"a.exe.txt", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shell::has_executable_extension(c.name), c.executable) << c.name;
    }
    EXPECT_TRUE(shell::has_extension("report.EXE", ".exe"));
    EXPECT_FALSE(shell::has_extension("report.exec", ".exe"));
}

TEST(Names, Paths) {
    EXPECT_EQ(shell::root_path('E', "a b.exe"), "E:\\a b.exe");
    EXPECT_EQ(shell::folder_path('E', "My Music", "x.exe"), "E:\\My Music\\x.exe");
}

}  // namespace
