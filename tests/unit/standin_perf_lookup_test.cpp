// What the stand-in reads of the disk for a lookup: an exact name is looked up directly,
// a folder is listed only for a name that the exact lookup misses (another letter case, a
// short name) or for a wildcard, once per command, and only the matching entries'
// attributes are read. Nothing learned survives the command that learned it.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "platform/files.h"
#include "platform/interpreter.h"
#include "standin/volume.h"
#include "standin_fixture.h"

namespace standin_test {
namespace {

class StandinLookups : public StandinTree {
  protected:
    void SetUp() override {
        StandinTree::SetUp();
        for (int i = 0; i < 40; ++i) make_file("filler_" + std::to_string(i) + ".txt", 0x2);
        make_folder("Sub", 0x2);
        for (int i = 0; i < 30; ++i) make_file("Sub/other_" + std::to_string(i) + ".dat");
        make_file("Sub/Target.exe", 0x2);
        make_file("Sub/photo.bath", 0x2);  // short name PHOTO~1.BAT
        make_file("Sub/tool.com");
        standin::reset_lookup_counts();
    }

    std::vector<std::string> listed(const std::string& work_file) const { return crlf_lines(this->work_file(work_file)); }
};

TEST_F(StandinLookups, ExactNameListsNoFolderAndReadsOnlyItsOwnWay) {
    const platform::EntryInfo info = platform::entry_info("E:\\Sub\\Target.exe");
    EXPECT_TRUE(info.exists);
    EXPECT_EQ(info.attributes, 0x2u);
    std::string final;
    EXPECT_EQ(platform::final_path("E:\\Sub\\Target.exe", final), platform::FinalPath::kFound);
    EXPECT_EQ(final, "\\\\?\\E:\\Sub\\Target.exe");
    EXPECT_TRUE(platform::file_exists("E:\\Sub\\Target.exe"));
    const standin::LookupCounts counts = standin::lookup_counts();
    EXPECT_EQ(counts.folder_reads, 0u);
    EXPECT_EQ(counts.short_names, 0u);
    // Sub and Target.exe, once for each of the three looks: never the other 70 entries.
    EXPECT_LE(counts.attribute_reads, 6u);
}

TEST_F(StandinLookups, OtherLetterCaseAndShortNamesStillFindTheEntry) {
    EXPECT_EQ(platform::entry_info("e:\\SUB\\target.EXE").attributes, 0x2u);
    EXPECT_TRUE(platform::file_exists("E:\\sub\\PHOTO~1.BAT"));
    EXPECT_FALSE(platform::file_exists("E:\\Sub\\PHOTO~2.BAT"));
    EXPECT_FALSE(platform::file_exists("E:\\Sub\\Target.ex"));
    EXPECT_GE(standin::lookup_counts().folder_reads, 1u) << "only a listing finds those";
}

TEST_F(StandinLookups, ExactMatchWinsOverOtherLetterCase) {
    make_file("Twin.exe");
    make_file("TWIN.EXE", 0x2);
    make_file("twin.exe", 0x4);
    EXPECT_EQ(platform::entry_info("E:\\Twin.exe").attributes, 0u);
    EXPECT_EQ(platform::entry_info("E:\\TWIN.EXE").attributes, 0x2u);
    EXPECT_EQ(platform::entry_info("E:\\twin.exe").attributes, 0x4u);
    // No exact match: the first in listing order, byte order breaking the tie.
    EXPECT_EQ(platform::entry_info("E:\\tWIN.exe").attributes, 0x2u);
}

TEST_F(StandinLookups, WildcardReadsAttributesOfMatchingEntriesOnly) {
    platform::run_system("dir /b /a \"E:\\Sub\\*.exe\" > out.txt");
    EXPECT_EQ(listed("out.txt"), std::vector<std::string>{"Target.exe"});
    // Sub on the way, Target.exe listed.
    EXPECT_EQ(standin::lookup_counts().attribute_reads, 2u);
}

TEST_F(StandinLookups, OneCommandListsAFolderOnceForAllItsPatterns) {
    platform::run_system("dir /b /a-d \"E:\\Sub\\*.com\" \"E:\\Sub\\*.bat\" \"E:\\Sub\\*.exe\" \"E:\\Sub\\*.bin\" "
                         "\"E:\\Sub\\*.cmd\" > out.txt");
    EXPECT_EQ(listed("out.txt"), (std::vector<std::string>{"tool.com", "photo.bath", "Target.exe"}));
    const standin::LookupCounts counts = standin::lookup_counts();
    EXPECT_EQ(counts.folder_reads, 2u) << "Sub, and the work folder for out.txt";
    EXPECT_LE(counts.short_names, 33u) << "each entry of Sub at most once";
    EXPECT_EQ(counts.attribute_reads, 4u) << "Sub once, and the three programs";
}

TEST_F(StandinLookups, NoCommandSeesWhatAnEarlierOneLearned) {
    make_file("Sub/gone.exe");
    platform::run_system("dir /b /a-d \"E:\\Sub\\*.exe\" > before.txt & del /f \"E:\\Sub\\gone.exe\" & "
                         "dir /b /a-d \"E:\\Sub\\*.exe\" > after.txt");
    EXPECT_EQ(listed("before.txt"), (std::vector<std::string>{"gone.exe", "Target.exe"}));
    EXPECT_EQ(listed("after.txt"), std::vector<std::string>{"Target.exe"});
}

TEST_F(StandinLookups, ACommandStartsFreshEvenInsideAnOpenScope) {
    standin::LookupScope scope;
    EXPECT_FALSE(platform::file_exists("E:\\Sub\\late.exe"));
    std::ofstream(stick_ + "/Sub/late.exe") << "x";  // made behind the stand-in's back
    std::string output;
    ASSERT_TRUE(platform::read_command_output("dir /b /a-d \"E:\\Sub\\*.exe\"", output));
    EXPECT_EQ(crlf_lines(text::utf16le_to_utf8(output)), (std::vector<std::string>{"late.exe", "Target.exe"}));
}

TEST_F(StandinLookups, DelSeesItsOwnDeletionsFromOnePathToTheNext) {
    make_file("Sub/gone.exe");
    platform::run_system("del /a /f \"E:\\Sub\\gone.exe\" \"E:\\Sub\\*.exe\" 2> err.txt");
    EXPECT_EQ(work_file("err.txt"), "") << "a deleted file is not selected again";
    EXPECT_FALSE(std::filesystem::exists(stick_ + "/Sub/Target.exe"));
}

TEST_F(StandinLookups, ACommandSeesTheFileItsRedirectionCreated) {
    platform::run_system("dir /b /a-d \"E:\\Sub\\*.exe\" > \"E:\\Sub\\list.exe\"");
    EXPECT_EQ(read_file(stick_ + "/Sub/list.exe"),
              std::string("l\0i\0s\0t\0.\0e\0x\0e\0\r\0\n\0T\0a\0r\0g\0e\0t\0.\0e\0x\0e\0\r\0\n\0", 44));
    // A second target of another letter case is the same file, not a new one.
    platform::run_system("echo hi > o.txt 2> O.TXT");
    std::set<std::string> work_names;
    for (const auto& entry : std::filesystem::directory_iterator(work_)) work_names.insert(entry.path().filename().string());
    EXPECT_EQ(work_names, std::set<std::string>{"o.txt"});
}

TEST_F(StandinLookups, RemovingAFileInsideAnOpenScopeIsSeen) {
    std::ofstream(work_ + "/stale.txt") << "x";
    standin::LookupScope scope;
    EXPECT_TRUE(platform::file_exists("stale.txt"));
    EXPECT_TRUE(platform::remove_file("stale.txt"));
    EXPECT_FALSE(platform::file_exists("stale.txt"));
    EXPECT_FALSE(platform::file_exists("STALE.TXT"));
}

TEST_F(StandinLookups, ANameOfOtherCaseSelectsEveryEntryItMatches) {
    make_file("Twin.exe");
    make_file("TWIN.EXE");
    make_file("twin.exe");
    platform::run_system("dir /b \"E:\\Twin.exe\" > out.txt");
    EXPECT_EQ(listed("out.txt"), (std::vector<std::string>{"TWIN.EXE", "Twin.exe", "twin.exe"}));
    platform::run_system("del \"E:\\twin.EXE\"");
    EXPECT_FALSE(std::filesystem::exists(stick_ + "/Twin.exe"));
    EXPECT_FALSE(std::filesystem::exists(stick_ + "/TWIN.EXE"));
    EXPECT_FALSE(std::filesystem::exists(stick_ + "/twin.exe"));
}

TEST_F(StandinLookups, DriveTableFollowsTheEnvironment) {
    const std::string other = root_ + "/other";
    std::filesystem::create_directories(other);
    std::ofstream(other + "/only-here.txt") << "x";
    EXPECT_FALSE(platform::file_exists("E:\\only-here.txt"));
    env_.set("NODREL_DRIVES", "E=removable:" + other);
    EXPECT_TRUE(platform::file_exists("E:\\only-here.txt"));
    env_.set("NODREL_DRIVES", "E=removable:" + stick_);
    EXPECT_FALSE(platform::file_exists("E:\\only-here.txt"));
    EXPECT_TRUE(platform::file_exists("E:\\Sub\\Target.exe"));
}

// A folder that may be searched but not listed hides its entries, even from a lookup of the
// exact name, as it did when every lookup listed the folder.
TEST_F(StandinLookups, AFolderThatCannotBeListedHidesItsEntries) {
    make_folder("Locked");
    make_file("Locked/a.exe");
    ASSERT_EQ(chmod((stick_ + "/Locked").c_str(), 0311), 0);
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
    int seen = -1;
    if (geteuid() != 0) {
        seen = platform::file_exists("E:\\Locked\\a.exe") ? 1 : 0;
    } else {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
            _exit(platform::file_exists("E:\\Locked\\a.exe") ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        seen = WEXITSTATUS(status);
    }
    EXPECT_EQ(seen, 0);
    chmod((stick_ + "/Locked").c_str(), 0755);
}

}  // namespace
}  // namespace standin_test
