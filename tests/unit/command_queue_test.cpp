// The queue of commands: which commands share one start of cmd.exe, what
// makes the queue run, and how our own lines wait for the commands before them.
#include <sys/stat.h>

#include "shell/command.h"
#include "shell/listing.h"
#include "shell/output.h"
#include "standin/transcript.h"
#include "standin_fixture.h"
#include "text/messages.h"

namespace standin_test {
namespace {

// "echo " and text, with output to nul: a command that does nothing visible.
std::string echo_command(const std::string& text) { return "echo " + text + "> nul"; }

// An echo command of exactly `units` UTF-16 units, made of copies of one character
// (UTF-8 in `unit`, `per` units each).
std::string command_of(size_t units, const std::string& unit, size_t per) {
    const size_t fixed = echo_command("").size();
    std::string text;
    for (size_t used = fixed; used < units; used += per) text += unit;
    return echo_command(text);
}

// How many commands each recorded start held.
std::vector<size_t> commands_per_start() {
    std::vector<size_t> counts;
    for (const std::string& line : standin::transcript()) {
        size_t count = 1;
        for (size_t at = line.find(" & "); at != std::string::npos; at = line.find(" & ", at + 3)) ++count;
        counts.push_back(count);
    }
    return counts;
}

class CommandQueue : public StandinTree {
  protected:
    void SetUp() override {
        StandinTree::SetUp();
        standin::clear_transcript();
        shell::forget_work_files();  // each test has a work folder of its own
    }
};

TEST_F(CommandQueue, StartsEndWhereTheNextCommandWouldPassTheLimit) {
    struct Case {
        const char* what;
        size_t units;         // of each command
        std::string unit;     // the character it is made of
        size_t per;           // its UTF-16 units
        size_t count;
        std::vector<size_t> starts;
    } cases[] = {
        // Four of 1,997 units and three joins of 3 take 7,997 of the 8,000.
        {"four just fit", 1997, "x", 1, 4, {4}},
        {"four are 8,001", 1998, "x", 1, 4, {3, 1}},
        {"eight", 1998, "x", 1, 8, {3, 3, 2}},
        // Counted in UTF-16 units, not bytes: 功 is 3 bytes and 1 unit.
        {"Big5 letters", 3995, "\xe5\x8a\x9f", 1, 2, {2}},
        // 𝄞 is 2 units (and 4 bytes): two commands of 3,998 units share a start, of 4,000 do not.
        {"outside the BMP, together", 3998, "\xf0\x9d\x84\x9e", 2, 2, {2}},
        {"outside the BMP, apart", 4000, "\xf0\x9d\x84\x9e", 2, 2, {1, 1}},
    };
    for (const Case& c : cases) {
        standin::clear_transcript();
        const std::string command = command_of(c.units, c.unit, c.per);
        ASSERT_EQ(shell::units_in_start(command), c.units + 3) << c.what;
        for (size_t i = 0; i < c.count; ++i) shell::queue_command(command);
        EXPECT_TRUE(standin::transcript().empty()) << c.what << ": nothing runs before a result is needed";
        shell::run_queued_commands();
        EXPECT_EQ(commands_per_start(), c.starts) << c.what;
        for (const std::string& line : standin::transcript()) {
            EXPECT_LE(text::utf8_to_utf16(line).size(), 8000u) << c.what;
        }
    }
}

TEST_F(CommandQueue, ACommandIsNeverCut) {
    const std::string small = echo_command("small");
    const std::string huge = command_of(9000, "x", 1);
    shell::queue_command(small);
    shell::queue_command(huge);
    shell::queue_command(small);
    shell::run_queued_commands();
    EXPECT_EQ(standin::transcript(), (std::vector<std::string>{small, huge, small}));
}

TEST_F(CommandQueue, CommandsRunInOrderAndAFailureStopsNone) {
    make_file("a.txt");
    make_file("b.txt");
    // The first del finds nothing; "&&" would skip the rest of the start.
    shell::queue_command("del \"E:\\none.txt\"");
    shell::queue_command("del \"E:\\a.txt\"");
    shell::queue_command("dir /b \"E:\\*.txt\" > out.txt");
    shell::queue_command("del \"E:\\b.txt\"");
    shell::run_queued_commands();
    EXPECT_EQ(commands_per_start(), (std::vector<size_t>{4}));
    EXPECT_EQ(work_file("out.txt"), "b.txt\r\n");
    EXPECT_TRUE(stick_contents().empty());
}

TEST_F(CommandQueue, RemovalReportsWaitForTheirDelAndKeepTheOrderOfLines) {
    make_file("gone.exe");
    make_file("stays.exe", 0x1);  // read-only: del without /f leaves it
    testing::internal::CaptureStdout();
    shell::say("first");
    shell::remove_entry("", "E:\\gone.exe");
    shell::say("between");
    shell::remove_entry("", "E:\\stays.exe");
    shell::say("last");
    const std::string before_run = testing::internal::GetCapturedStdout();
    EXPECT_EQ(before_run, "first\n");
    EXPECT_TRUE(standin::transcript().empty());

    testing::internal::CaptureStdout();
    shell::run_queued_commands();
    const std::string after_run = testing::internal::GetCapturedStdout();
    EXPECT_EQ(after_run, shell::format(text::kRemoved, "E:\\gone.exe") + "\nbetween\n" +
                             shell::format(text::kNotRemoved, "E:\\stays.exe") + "\nlast\n");
    EXPECT_EQ(standin::transcript(),
              (std::vector<std::string>{"del  \"E:\\gone.exe\" & del  \"E:\\stays.exe\""}));
}

TEST_F(CommandQueue, ReadingAWorkFileRunsTheQueueOnlyWhenItIsStillToBeWritten) {
    make_file("a.txt");
    shell::queue_listing("dir /b \"E:\\*.txt\" > one.txt", "one.txt");
    shell::queue_listing("dir /b \"E:\\*.none\" > two.txt", "two.txt");
    EXPECT_FALSE(work_file_exists("one.txt"));
    EXPECT_EQ(shell::read_all_names("one.txt"), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(commands_per_start(), (std::vector<size_t>{2}));
    // two.txt was made by the same start: reading it starts nothing.
    shell::queue_command(echo_command("later"));
    EXPECT_TRUE(shell::read_all_names("two.txt").empty());
    EXPECT_EQ(commands_per_start(), (std::vector<size_t>{2}));
    shell::run_queued_commands();
    EXPECT_EQ(commands_per_start(), (std::vector<size_t>{2, 1}));
}

TEST_F(CommandQueue, AWorkFileStillToBeWrittenIsDeletedAfterTheStart) {
    shell::queue_listing("dir /b \"E:\\*\" > list.txt", "list.txt");
    EXPECT_TRUE(shell::delete_work_file("list.txt"));
    EXPECT_TRUE(standin::transcript().empty());
    shell::run_queued_commands();
    EXPECT_EQ(standin::transcript().size(), 1u);
    EXPECT_FALSE(work_file_exists("list.txt"));
}

TEST_F(CommandQueue, AWorkFileIsDeletedOnceUntilACommandWritesIt) {
    shell::queue_listing("dir /b \"E:\\*\" > list.txt", "list.txt");
    shell::read_all_names("list.txt");
    ASSERT_TRUE(shell::delete_work_file("list.txt"));
    // Something else puts it back: not seen until the work files are forgotten.
    std::ofstream(work_ + "/list.txt") << "planted";
    EXPECT_TRUE(shell::delete_work_file("list.txt"));
    EXPECT_TRUE(work_file_exists("list.txt"));
    shell::forget_work_files();
    EXPECT_TRUE(shell::delete_work_file("list.txt"));
    EXPECT_FALSE(work_file_exists("list.txt"));
}

TEST_F(CommandQueue, AnOldWorkFileThatStaysIsNeverReadAsANewListing) {
    make_file("new.txt");
    {
        std::ofstream(work_ + "/list.txt") << "old";
    }
    set_attributes(work_ + "/list.txt", 0x1);  // read-only: remove leaves it
    shell::queue_listing("dir /b \"E:\\*.txt\" > list.txt", "list.txt");
    testing::internal::CaptureStdout();
    const shell::Listing listing = shell::open_listing("list.txt");
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(listing.opened);
    EXPECT_TRUE(listing.names.empty());
    EXPECT_EQ(said, shell::format(text::kWorkFileUnreadable, "list.txt") + "\n");
    EXPECT_TRUE(standin::transcript().empty()) << "no listing is made into a file that stayed";
}

}  // namespace
}  // namespace standin_test
