// The stand-in's command line handling: %VAR% expansion, quotes, "^", separators,
// redirection, echo, pause, unknown commands, and the transcript of command lines.
#include <cstdio>

#include "platform/interpreter.h"
#include "standin/cmd.h"
#include "standin/transcript.h"
#include "standin_fixture.h"

namespace standin_test {
namespace {

struct OutputCase {
    const char* command;
    const char* output;  // what read_command_output collects
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.command; }

class StandinOutput : public StandinTree, public ::testing::WithParamInterface<OutputCase> {
  protected:
    void SetUp() override {
        StandinTree::SetUp();
        env_.set("NODREL_T_VAR", "value");
        env_.set("NODREL_T_AMP", "one&echo two");
        env_.unset("NODREL_T_UNSET");
    }
};

TEST_P(StandinOutput, CollectsWhatCmdWrites) {
    std::string output = "left from before";
    ASSERT_TRUE(platform::read_command_output(GetParam().command, output));
    EXPECT_EQ(text::utf16le_to_utf8(output), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    StandinEcho, StandinOutput,
    ::testing::Values(
        OutputCase{"echo hello", "hello\r\n"},
        OutputCase{"echo  two  blanks ", " two  blanks \r\n"},
        OutputCase{"ECHO \"quoted & kept\"", "\"quoted & kept\"\r\n"},
        OutputCase{"echo.", "\r\n"},
        OutputCase{"echo", "ECHO is on.\r\n"},
        OutputCase{"echo x!y!", "x!y!\r\n"}));

INSTANTIATE_TEST_SUITE_P(
    StandinVariables, StandinOutput,
    ::testing::Values(
        OutputCase{"echo %NODREL_T_VAR%", "value\r\n"},
        OutputCase{"echo \"%NODREL_T_VAR%\"", "\"value\"\r\n"},
        OutputCase{"echo %nodrel_t_var%", "value\r\n"},
        OutputCase{"echo %NODREL_T_UNSET%", "%NODREL_T_UNSET%\r\n"},
        OutputCase{"echo %NODREL_T_UNSET%%NODREL_T_VAR%", "%NODREL_T_UNSET%value\r\n"},
        OutputCase{"echo %%NODREL_T_VAR%%", "%value%\r\n"},
        OutputCase{"echo 100%", "100%\r\n"},
        // Expansion comes first, so an "&" in a value splits the line.
        OutputCase{"echo %NODREL_T_AMP%", "one\r\ntwo\r\n"}));

INSTANTIATE_TEST_SUITE_P(
    StandinSeparators, StandinOutput,
    ::testing::Values(
        OutputCase{"echo a&echo b", "a\r\nb\r\n"},
        OutputCase{"echo a^&echo b", "a&echo b\r\n"},
        OutputCase{"echo a && echo b", "a \r\nb\r\n"},
        OutputCase{"nosuch 2>nul && echo b", ""},
        OutputCase{"nosuch 2>nul || echo b", "b\r\n"},
        OutputCase{"echo a || echo b", "a \r\n"},
        OutputCase{"echo a > nul", ""},
        OutputCase{"echo a^>b", "a>b\r\n"},
        OutputCase{"nosuch 2>&1", "'nosuch' is not recognized as an internal or external command,\r\noperable program or batch file.\r\n"}));

using StandinInterpreter = StandinTree;

TEST_F(StandinInterpreter, RedirectionWritesAndAppendsCrlfLines) {
    platform::run_system("echo one > f.txt");
    platform::run_system("echo two>>f.txt");
    platform::run_system("echo three 1>>F.TXT");
    EXPECT_EQ(work_file("f.txt"), "one \r\ntwo\r\nthree \r\n");
}

TEST_F(StandinInterpreter, ComplaintsGoToStderrOnly) {
    std::string output;
    ASSERT_TRUE(platform::read_command_output("b.exe 2> err.txt", output));
    EXPECT_EQ(output, "");
    EXPECT_NE(work_file("err.txt").find("'b.exe' is not recognized"), std::string::npos);
    std::set<std::string> work_names;
    for (const auto& entry : std::filesystem::directory_iterator(work_)) {
        work_names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(work_names, std::set<std::string>{"err.txt"});
}

TEST_F(StandinInterpreter, RunSystemWritesInOrderWithTheProgramsOwnOutput) {
    ::testing::internal::CaptureStdout();
    std::printf("before|");
    platform::run_system("echo middle");
    std::printf("|after");
    // With /u, the interpreter's own output to a pipe or file is UTF-16LE.
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              std::string("before|m\0i\0d\0d\0l\0e\0\r\0\n\0|after", 29));
}

TEST_F(StandinInterpreter, PauseReadsOneLineOfInput) {
    FILE* keys = std::tmpfile();
    ASSERT_NE(keys, nullptr);
    std::fputs("first key line\nnext line\n", keys);
    std::rewind(keys);
    std::string output;
    standin::run_command_line("pause", &output, keys);
    EXPECT_EQ(output, "Press any key to continue... ");
    char rest[64] = {};
    ASSERT_NE(std::fgets(rest, sizeof rest, keys), nullptr);
    EXPECT_STREQ(rest, "next line\n");
    std::fclose(keys);
}

TEST_F(StandinInterpreter, PauseReturnsAtEndOfInput) {
    std::ofstream(work_ + "/keys.txt") << "no newline";
    std::string output;
    ASSERT_TRUE(platform::read_command_output("PAUSE < keys.txt & echo done", output));
    EXPECT_EQ(text::utf16le_to_utf8(output), "Press any key to continue... done\r\n");
}

TEST_F(StandinInterpreter, TranscriptKeepsEachLineAsReceived) {
    std::string log = root_ + "/transcript.log";
    env_.set("NODREL_TRANSCRIPT", log);
    env_.set("NODREL_T_VAR", "value");
    standin::clear_transcript();
    const std::vector<std::string> sent = {"echo %NODREL_T_VAR% > out.txt", "dir /b \"E:\\*.txt\"", "nosuch 2>nul"};
    platform::run_system(sent[0]);
    std::string output;
    platform::read_command_output(sent[1], output);
    platform::run_system(sent[2]);
    EXPECT_EQ(standin::transcript(), sent);
    EXPECT_EQ(read_file(log), sent[0] + "\n" + sent[1] + "\n" + sent[2] + "\n");
    EXPECT_EQ(work_file("out.txt"), "value \r\n");

    standin::clear_transcript();
    EXPECT_TRUE(standin::transcript().empty());
    EXPECT_EQ(read_file(log), sent[0] + "\n" + sent[1] + "\n" + sent[2] + "\n");
}

}  // namespace
}  // namespace standin_test
