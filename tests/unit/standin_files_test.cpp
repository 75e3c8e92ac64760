// file_exists and file_readable of the stand-in, on Windows paths over the mapped folders.
#include <grp.h>
#include <sys/wait.h>

#include "platform/files.h"
#include "platform/interpreter.h"
#include "standin_fixture.h"

namespace standin_test {
namespace {

struct FileCase {
    const char* path;
    bool exists;
    bool readable;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.path; }

class StandinFiles : public StandinTree, public ::testing::WithParamInterface<FileCase> {
  protected:
    void SetUp() override {
        StandinTree::SetUp();
        make_file("autorun.inf", 0x6);
        make_file("photo.bath", 0x2);
        make_file("Photos/p1.jpg");
        std::ofstream(work_ + "/list.txt") << "work file\r\n";
    }
};

TEST_P(StandinFiles, SeesWhatWindowsWould) {
    EXPECT_EQ(platform::file_exists(GetParam().path), GetParam().exists);
    EXPECT_EQ(platform::file_readable(GetParam().path), GetParam().readable);
}

INSTANTIATE_TEST_SUITE_P(
    StandinPaths, StandinFiles,
    ::testing::Values(FileCase{"E:\\autorun.inf", true, true}, FileCase{"e:\\AUTORUN.INF", true, true},
                      FileCase{"E:\\photos\\P1.JPG", true, true}, FileCase{"E:\\PHOTO~1.BAT", true, true},
                      FileCase{"E:\\Photos", true, false}, FileCase{"E:\\", true, false},
                      FileCase{"E:\\nothere.inf", false, false}, FileCase{"E:\\Nope\\p1.jpg", false, false},
                      FileCase{"E:\\*.inf", false, false}, FileCase{"Q:\\autorun.inf", false, false},
                      FileCase{"list.txt", true, true}, FileCase{"LIST.TXT", true, true},
                      FileCase{"other.txt", false, false}));

using StandinUnreadable = StandinTree;

// Windows still shows the attributes of a file its user may not read: dir /ah-d lists a
// hidden autorun.inf of mode 000, while file_readable says it cannot be opened.
TEST_F(StandinUnreadable, HiddenFileKeepsItsAttributesForItsOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the file to another user";
    const uid_t kNobody = 65534;
    make_file("autorun.inf", 0x2);
    std::string path = stick_ + "/autorun.inf";
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(100);
        std::string listed;
        platform::read_command_output("dir /ah-d /b \"E:\\autorun.inf\"", listed);
        int seen = (text::utf16le_to_utf8(listed) == "autorun.inf\r\n" ? 1 : 0) | (platform::file_readable("E:\\autorun.inf") ? 2 : 0);
        _exit(seen);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "1: listed by dir, 2: readable";
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0u) << "the file's mode is put back";
}

}  // namespace
}  // namespace standin_test
