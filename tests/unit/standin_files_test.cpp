// file_exists and file_readable of the stand-in, on Windows paths over the mapped folders.
#include "platform/files.h"
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
    Paths, StandinFiles,
    ::testing::Values(FileCase{"E:\\autorun.inf", true, true}, FileCase{"e:\\AUTORUN.INF", true, true},
                      FileCase{"E:\\photos\\P1.JPG", true, true}, FileCase{"E:\\PHOTO~1.BAT", true, true},
                      FileCase{"E:\\Photos", true, false}, FileCase{"E:\\", true, false},
                      FileCase{"E:\\nothere.inf", false, false}, FileCase{"E:\\Nope\\p1.jpg", false, false},
                      FileCase{"E:\\*.inf", false, false}, FileCase{"Q:\\autorun.inf", false, false},
                      FileCase{"list.txt", true, true}, FileCase{"LIST.TXT", true, true},
                      FileCase{"other.txt", false, false}));

}  // namespace
}  // namespace standin_test
