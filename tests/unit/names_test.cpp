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
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shell::is_plain_name(c.name), c.plain) << '"' << c.name << '"';
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
