// Links and drive aliases on the stand-in, and the program's look at each entry before
// it touches one: symlinked folders are reparse points, final paths follow links, del
// removes a file link itself, SUBST drives open their folder, and entry_is refuses
// whatever leads off the drive.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/interpreter.h"
#include "shell/entry.h"
#include "standin_fixture.h"

namespace standin_test {
namespace {

class StandinLinks : public StandinTree {
  protected:
    void SetUp() override {
        StandinTree::SetUp();
        outside_ = root_ + "/outside";
        system_ = root_ + "/c";
        std::filesystem::create_directories(outside_ + "/lib");
        std::filesystem::create_directories(system_ + "/ProgramData");
        std::ofstream(outside_ + "/lib/tool.exe") << "tool";
        std::ofstream(outside_ + "/prog.exe") << "prog";
        std::ofstream(system_ + "/ProgramData/setup.exe") << "setup";
        set_attributes(outside_ + "/lib", 0x2);
        set_attributes(outside_ + "/prog.exe", 0x2);
        set_attributes(system_ + "/ProgramData", 0x2);
        make_folder("Real", 0x2);
        make_file("Real/v.exe");
        make_file("plain.exe");
        make_file("hidden.exe", 0x2);
        link(outside_ + "/lib", "Photos");
        link(system_ + "/ProgramData", "Data");
        link(outside_ + "/prog.exe", "svchost.exe");
        link(stick_ + "/Real/v.exe", "inner.exe");  // a link that stays on the stick
        link(stick_ + "/Real", "Again");
    }

    void link(const std::string& target, const std::string& rel) {
        ASSERT_EQ(symlink(target.c_str(), (stick_ + "/" + rel).c_str()), 0);
    }

    std::string outside_, system_;
};

TEST_F(StandinLinks, FolderLinksAreReparsePointsFileLinksAreNot) {
    using platform::entry_info;
    EXPECT_EQ(entry_info("E:\\Photos").attributes, 0x412u);   // hidden folder, reparse point
    EXPECT_EQ(entry_info("E:\\Data").attributes, 0x412u);
    EXPECT_EQ(entry_info("E:\\svchost.exe").attributes, 0x2u);  // as Wine shows a file link
    EXPECT_EQ(entry_info("E:\\Real").attributes, 0x12u);
    EXPECT_FALSE(entry_info("E:\\missing").exists);
}

TEST_F(StandinLinks, FinalPathsFollowLinks) {
    struct Case {
        const char* path;
        std::string final;
    } cases[] = {
        {"E:\\", "\\\\?\\E:\\"},
        {"E:\\Real\\v.exe", "\\\\?\\E:\\Real\\v.exe"},
        {"E:\\inner.exe", "\\\\?\\E:\\Real\\v.exe"},
        {"E:\\Again\\v.exe", "\\\\?\\E:\\Real\\v.exe"},
        {"E:\\Data\\setup.exe", "\\\\?\\C:\\ProgramData\\setup.exe"},
        {"E:\\svchost.exe", "\\\\?\\unix" + outside_ + "/prog.exe"},
    };
    for (const Case& c : cases) {
        std::string final;
        ASSERT_EQ(platform::final_path(c.path, final), platform::FinalPath::kFound) << c.path;
        EXPECT_EQ(final, c.final) << c.path;
    }
    std::string final;
    EXPECT_EQ(platform::final_path("E:\\missing.exe", final), platform::FinalPath::kFailed);
}

TEST_F(StandinLinks, EntryChecksRefuseWhatLeavesTheDrive) {
    using shell::Kind;
    using shell::Verdict;
    using shell::Visibility;
    struct Case {
        const char* path;
        Kind kind;
        Visibility visibility;
        Verdict verdict;
    } cases[] = {
        {"E:\\Real", Kind::kFolder, Visibility::kHidden, Verdict::kAccepted},
        {"E:\\Real\\v.exe", Kind::kFile, Visibility::kPlain, Verdict::kAccepted},
        {"E:\\hidden.exe", Kind::kFile, Visibility::kHidden, Verdict::kAccepted},
        {"E:\\plain.exe", Kind::kFile, Visibility::kAny, Verdict::kAccepted},
        {"E:\\inner.exe", Kind::kFile, Visibility::kAny, Verdict::kAccepted},        // a link that stays on the stick
        {"E:\\Photos", Kind::kFolder, Visibility::kHidden, Verdict::kLeadsElsewhere},  // reparse point
        {"E:\\Data", Kind::kFolder, Visibility::kHidden, Verdict::kLeadsElsewhere},
        {"E:\\Again", Kind::kFolder, Visibility::kHidden, Verdict::kLeadsElsewhere},   // reparse point, on the stick
        {"E:\\svchost.exe", Kind::kFile, Visibility::kHidden, Verdict::kLeadsElsewhere},  // leads off the drive
        {"E:\\Data\\setup.exe", Kind::kFile, Visibility::kAny, Verdict::kLeadsElsewhere},
        // Not what the listing selected: changed since.
        {"E:\\plain.exe", Kind::kFile, Visibility::kHidden, Verdict::kUnexamined},
        {"E:\\hidden.exe", Kind::kFile, Visibility::kPlain, Verdict::kUnexamined},
        {"E:\\Real", Kind::kFile, Visibility::kHidden, Verdict::kUnexamined},
        {"E:\\hidden.exe", Kind::kFolder, Visibility::kHidden, Verdict::kUnexamined},
        {"E:\\missing.exe", Kind::kFile, Visibility::kAny, Verdict::kUnexamined},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shell::examine_entry(c.path, c.kind, c.visibility), c.verdict) << c.path;
        EXPECT_EQ(shell::entry_is(c.path, c.kind, c.visibility), c.verdict == Verdict::kAccepted) << c.path;
    }
}

TEST_F(StandinLinks, APathTooLongToLookAtIsNotExamined) {
    // Under Wine 8 a look at one entry fails from 264 UTF-16 units on.
    const std::string folder = "F" + std::string(149, 'd');
    make_folder(folder, 0x2);
    for (size_t total : {263u, 264u}) {
        const std::string name = std::string(total - 3 - folder.size() - 1 - 4, 'p') + ".exe";
        make_file(folder + "/" + name);
        const std::string path = "E:\\" + folder + "\\" + name;
        ASSERT_EQ(path.size(), total);
        EXPECT_EQ(shell::examine_entry(path, shell::Kind::kFile, shell::Visibility::kPlain),
                  total < 264 ? shell::Verdict::kAccepted : shell::Verdict::kUnexamined)
            << total;
    }
}

TEST_F(StandinLinks, DelOnAFileLinkRemovesTheLinkOnly) {
    platform::run_system("del /ah /f \"E:\\svchost.exe\" 2> err.txt");
    struct stat st;
    EXPECT_NE(lstat((stick_ + "/svchost.exe").c_str(), &st), 0);
    EXPECT_TRUE(std::filesystem::exists(outside_ + "/prog.exe"));
}

TEST_F(StandinLinks, SubstDrivesOpenTheirFolder) {
    env_.set("NODREL_DRIVES", "C=fixed:" + system_ + ";E=removable:" + stick_ + ";S=subst:C:\\;T=subst:E:\\Real");
    EXPECT_EQ(platform::query_dos_device('S'), "\\??\\C:\\");
    EXPECT_EQ(platform::query_dos_device('T'), "\\??\\E:\\Real");
    EXPECT_EQ(platform::query_dos_device('E').compare(0, 8, "\\Device\\"), 0);
    EXPECT_EQ(platform::get_drive_type("S:\\"), platform::kDriveFixed);
    EXPECT_TRUE(platform::file_exists("S:\\ProgramData\\setup.exe"));
    EXPECT_TRUE(platform::file_exists("T:\\v.exe"));
    // A final path names the real drive, never the alias.
    std::string final;
    ASSERT_EQ(platform::final_path("T:\\v.exe", final), platform::FinalPath::kFound);
    EXPECT_EQ(final, "\\\\?\\E:\\Real\\v.exe");
    platform::run_system("del /f \"T:\\v.exe\"");
    EXPECT_FALSE(std::filesystem::exists(stick_ + "/Real/v.exe"));
}

TEST_F(StandinLinks, SystemFolderFollowsTheWindowsFolderUnlessSet) {
    env_.unset("NODREL_SYSTEM_DIR");
    env_.unset("NODREL_WINDOWS_DIR");
    EXPECT_EQ(platform::get_system_directory(), "C:\\WINDOWS\\system32");
    env_.set("NODREL_WINDOWS_DIR", "D:\\WIN");
    EXPECT_EQ(platform::get_system_directory(), "D:\\WIN\\system32");
    env_.set("NODREL_WINDOWS_DIR", "");
    EXPECT_EQ(platform::get_system_directory(), "");
    env_.set("NODREL_SYSTEM_DIR", "F:\\sys");
    EXPECT_EQ(platform::get_system_directory(), "F:\\sys");
}

}  // namespace
}  // namespace standin_test
