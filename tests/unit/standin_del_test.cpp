// del through the stand-in's cmd.exe: attribute filters, read-only files, wildcards on
// long and short names, folders, and how "&" splits an unquoted name.
#include <sys/stat.h>

#include <cstdio>

#include "platform/interpreter.h"
#include "standin/cmd.h"
#include "standin_fixture.h"

namespace standin_test {
namespace {

struct DelCase {
    const char* command;
    std::set<std::string> removed;  // stick entries gone afterwards; every other one stays
    const char* complaint;          // expected part of stderr, "" for none
};

void PrintTo(const DelCase& c, std::ostream* os) { *os << c.command; }

class StandinDel : public StandinTree, public ::testing::WithParamInterface<DelCase> {
  protected:
    void SetUp() override {
        StandinTree::SetUp();
        make_file("a", 0x2);             // hidden
        make_file("a&b.exe", 0x2);       // hidden
        make_file("photo.bath", 0x2);    // hidden; short name PHOTO~1.BAT
        make_file("autorun.inf", 0x6);   // hidden + system
        make_file("plain.txt");
        make_file("ro.txt");
        chmod((stick_ + "/ro.txt").c_str(), 0444);
        make_file("Photos/p1.jpg");
        make_file("Photos/p2.jpg");
        make_file("Photos/hidden.jpg", 0x2);
    }
};

TEST_P(StandinDel, RemovesExactlyWhatCmdWould) {
    const DelCase& c = GetParam();
    std::set<std::string> before = stick_contents();
    platform::run_system(std::string(c.command) + " 2> err.txt");
    std::set<std::string> expected;
    for (const std::string& name : before) {
        if (c.removed.count(name) == 0) expected.insert(name);
    }
    EXPECT_EQ(stick_contents(), expected);
    expect_complaint(work_file("err.txt"), c.complaint);
}

INSTANTIATE_TEST_SUITE_P(
    StandinAttributes, StandinDel,
    ::testing::Values(
        DelCase{"del E:\\plain.txt", {"plain.txt"}, ""},
        DelCase{"del e:\\PLAIN.TXT", {"plain.txt"}, ""},
        DelCase{"del E:\\photo.bath", {}, "Could Not Find E:\\photo.bath"},
        DelCase{"del /ah E:\\photo.bath", {"photo.bath"}, ""},
        DelCase{"del /ah E:\\plain.txt", {}, "Could Not Find E:\\plain.txt"},
        DelCase{"del /a:h /q E:\\autorun.inf", {"autorun.inf"}, ""},
        DelCase{"del E:\\ro.txt", {}, "Access is denied."},
        DelCase{"del /f E:\\ro.txt", {"ro.txt"}, ""},
        DelCase{"del /a /f /q E:\\*", {"a", "a&b.exe", "photo.bath", "autorun.inf", "plain.txt", "ro.txt"}, ""},
        DelCase{"del /a-h /q E:\\*", {"plain.txt"}, "Access is denied."}));

INSTANTIATE_TEST_SUITE_P(
    StandinWildcards, StandinDel,
    ::testing::Values(
        DelCase{"del /ah /f \"E:\\*.bat\"", {"photo.bath"}, ""},
        DelCase{"del /ah /f E:\\PHOTO~1.BAT", {"photo.bath"}, ""},
        DelCase{"del E:\\p?ain.*", {"plain.txt"}, ""},
        DelCase{"del /ah E:\\a*", {"a", "a&b.exe", "autorun.inf"}, ""},
        DelCase{"del E:\\*.zzz", {}, "Could Not Find E:\\*.zzz"},
        DelCase{"del E:\\plain.txt E:\\Photos\\p1.jpg", {"plain.txt", "Photos/p1.jpg"}, ""}));

INSTANTIATE_TEST_SUITE_P(
    StandinFolders, StandinDel,
    ::testing::Values(
        DelCase{"del /q E:\\Photos", {"Photos/p1.jpg", "Photos/p2.jpg"}, ""},
        DelCase{"del /a /q \"E:\\photos\\\"", {"Photos/p1.jpg", "Photos/p2.jpg", "Photos/hidden.jpg"}, ""},
        DelCase{"del /ah E:\\photos\\*.jpg", {"Photos/hidden.jpg"}, ""},
        DelCase{"del /ad /q E:\\Photos", {}, "Could Not Find E:\\Photos"},
        // Without /q, del asks before it empties a folder; an input at its end answers "no".
        DelCase{"del /f E:\\Photos", {}, ""},
        DelCase{"del /a /f E:\\Photos\\*.*", {}, ""},
        DelCase{"del E:\\Nope\\x.txt", {}, "cannot find the path"},
        DelCase{"del", {}, "syntax of the command is incorrect"}));

INSTANTIATE_TEST_SUITE_P(
    StandinSpecialCharacters, StandinDel,
    ::testing::Values(
        // Unquoted, "&" ends the del command: E:\a goes, and "b.exe" is run as a command.
        DelCase{"del /ah /f E:\\a&b.exe", {"a"}, "'b.exe' is not recognized"},
        DelCase{"del /ah /f \"E:\\a&b.exe\"", {"a&b.exe"}, ""},
        DelCase{"del /ah /f E:\\a^&b.exe", {"a&b.exe"}, ""}));

// del on a folder asks before it empties it, and reads the answer from its input.
TEST_F(StandinTree, DelOnAFolderAsksFirst) {
    struct Case {
        const char* input;  // nullptr: no input at all, as from a pipe already closed
        bool emptied;
        size_t questions;
    } cases[] = {
        {nullptr, false, 1},
        {"n\n", false, 1},
        {"yes\n", true, 1},
        // An input that stays open at its end: Wine's cmd.exe asks again for ever.
        {"", false, 1000},
    };
    for (const Case& c : cases) {
        make_file("Photos/p1.jpg");
        FILE* input = nullptr;
        if (c.input != nullptr) {
            input = std::tmpfile();
            ASSERT_NE(input, nullptr);
            std::fputs(c.input, input);
            std::rewind(input);
        }
        std::string output;
        standin::run_command_line("del /f \"E:\\Photos\"", &output, input);
        if (input != nullptr) std::fclose(input);
        const std::string question = "E:\\Photos\\* Are you sure? (Yes|No)";
        size_t asked = 0;
        for (size_t at = output.find(question); at != std::string::npos; at = output.find(question, at + 1)) ++asked;
        EXPECT_EQ(asked, c.questions) << (c.input ? c.input : "no input");
        EXPECT_EQ(stick_contents().count("Photos/p1.jpg") == 0, c.emptied) << (c.input ? c.input : "no input");
        EXPECT_EQ(stick_contents().count("Photos"), 1u);
    }
}

}  // namespace
}  // namespace standin_test
