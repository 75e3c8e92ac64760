// dir through the stand-in's cmd.exe: attribute filters, patterns against long and short
// names, folders, several paths, and what lands in the redirected listing file.
#include <sys/stat.h>

#include "platform/interpreter.h"
#include "standin/cmd.h"
#include "standin_fixture.h"

namespace standin_test {
namespace {

struct DirCase {
    const char* arguments;               // what follows "dir" on the command line
    std::vector<std::string> listed;     // expected lines of the listing file, in order
    const char* complaint;               // expected part of stderr, "" for none
};

void PrintTo(const DirCase& c, std::ostream* os) { *os << "dir " << c.arguments; }

class StandinDir : public StandinTree, public ::testing::WithParamInterface<DirCase> {
  protected:
    void SetUp() override {
        StandinTree::SetUp();
        make_file("autorun.inf", 0x6);   // hidden + system
        make_file("photo.bath", 0x2);    // hidden; short name PHOTO~1.BAT
        make_file("a&b.exe", 0x2);       // hidden
        make_file("sys.dat", 0x4);       // system
        make_file("letter.comics");      // short name LETTER~1.COM
        make_file("notes.exe1");         // short name NOTES~1.EXE
        make_file("Setup.EXE");
        make_file("plain.txt");
        make_file("my notes.txt");
        make_file("ro.txt");
        chmod((stick_ + "/ro.txt").c_str(), 0444);  // read-only the way Wine sees it
        make_file("ro2.txt", 0x1);                  // read-only by attribute
        make_file("Photos/p1.jpg");
        make_file("Photos/p2.jpg");
        make_folder("HidDir", 0x2);
        make_folder("SysDir", 0x4);
    }
};

TEST_P(StandinDir, ListsWhatCmdWouldList) {
    const DirCase& c = GetParam();
    platform::run_system(std::string("dir ") + c.arguments + " > out.txt 2> err.txt");
    ASSERT_TRUE(work_file_exists("out.txt"));
    EXPECT_EQ(crlf_lines(work_file("out.txt")), c.listed);
    expect_complaint(work_file("err.txt"), c.complaint);
}

INSTANTIATE_TEST_SUITE_P(
    StandinAttributeFilters, StandinDir,
    ::testing::Values(
        DirCase{"/b E:\\", {"letter.comics", "my notes.txt", "notes.exe1", "Photos", "plain.txt", "ro.txt", "ro2.txt", "Setup.EXE"}, ""},
        DirCase{"/b /ah E:\\", {"a&b.exe", "autorun.inf", "HidDir", "photo.bath"}, ""},
        DirCase{"/b /ahd E:\\", {"HidDir"}, ""},
        DirCase{"/b /A:HD E:\\", {"HidDir"}, ""},
        DirCase{"\"E:\\\" /ahd /b", {"HidDir"}, ""},
        DirCase{"/b /ah-d E:\\", {"a&b.exe", "autorun.inf", "photo.bath"}, ""},
        DirCase{"/b /a-d E:\\", {"a&b.exe", "autorun.inf", "letter.comics", "my notes.txt", "notes.exe1", "photo.bath", "plain.txt", "ro.txt", "ro2.txt", "Setup.EXE", "sys.dat"}, ""},
        DirCase{"/b /a-d-h-s E:\\", {"letter.comics", "my notes.txt", "notes.exe1", "plain.txt", "ro.txt", "ro2.txt", "Setup.EXE"}, ""},
        DirCase{"/b /as E:\\", {"autorun.inf", "sys.dat", "SysDir"}, ""},
        DirCase{"/b /ar E:\\", {"ro.txt", "ro2.txt"}, ""},
        DirCase{"/b /ad E:\\", {"HidDir", "Photos", "SysDir"}, ""},
        DirCase{"/b /a E:\\", {"a&b.exe", "autorun.inf", "HidDir", "letter.comics", "my notes.txt", "notes.exe1", "photo.bath", "Photos", "plain.txt", "ro.txt", "ro2.txt", "Setup.EXE", "sys.dat", "SysDir"}, ""},
        DirCase{"/b/a-d-h-s E:\\*.txt", {"my notes.txt", "plain.txt", "ro.txt", "ro2.txt"}, ""}));

INSTANTIATE_TEST_SUITE_P(
    StandinPatterns, StandinDir,
    ::testing::Values(
        DirCase{"\"E:\\*.bat\" /ah-d /b", {"photo.bath"}, ""},
        DirCase{"/b E:\\*.com", {"letter.comics"}, ""},
        DirCase{"/b /a E:\\*.exe", {"a&b.exe", "notes.exe1", "Setup.EXE"}, ""},
        DirCase{"/b e:\\SETUP.exe", {"Setup.EXE"}, ""},
        DirCase{"/b E:\\?????.txt", {"plain.txt"}, ""},
        DirCase{"/b E:\\ro?.txt", {"ro2.txt"}, ""},
        DirCase{"/b E:\\p*", {"Photos", "plain.txt"}, ""},
        DirCase{"/b E:\\*.*", {"letter.comics", "my notes.txt", "notes.exe1", "Photos", "plain.txt", "ro.txt", "ro2.txt", "Setup.EXE"}, ""},
        DirCase{"/b \"E:\\my notes.txt\"", {"my notes.txt"}, ""},
        DirCase{"/b E:\\my notes.txt", {}, "File Not Found"},
        DirCase{"/b E:\\*.txt E:\\*.com", {"my notes.txt", "plain.txt", "ro.txt", "ro2.txt", "letter.comics"}, ""},
        DirCase{"/b E:\\plain.txt,E:\\ro.txt", {"plain.txt", "ro.txt"}, ""},
        DirCase{"/b /ah E:\\*.zzz E:\\*.bat", {"photo.bath"}, ""},
        DirCase{"/b E:\\*.zzz", {}, "File Not Found"}));

INSTANTIATE_TEST_SUITE_P(
    StandinFolders, StandinDir,
    ::testing::Values(
        DirCase{"/b E:\\photos", {"p1.jpg", "p2.jpg"}, ""},
        DirCase{"/b \"E:\\Photos\\\"", {"p1.jpg", "p2.jpg"}, ""},
        DirCase{"/b E:\\PHOTOS\\*2.JPG", {"p2.jpg"}, ""},
        DirCase{"/b /ah E:\\Photos", {}, "File Not Found"},
        DirCase{"/b E:\\Nope\\*.txt", {}, "cannot find the path"},
        DirCase{"/b Q:\\*", {}, "cannot find the path"},
        DirCase{"/b /x E:\\", {}, "Invalid switch"},
        DirCase{"/b /az E:\\", {}, "Parameter format not correct"}));

using StandinDirFiles = StandinTree;

// With /u, a listing holds every name exactly, in UTF-16LE, and del takes it back as it is.
TEST_F(StandinDirFiles, ListsExactNamesThatDelAccepts) {
    make_file("\xE4\xB8\xAD\xE6\x96\x87.txt");  // 中文.txt in UTF-8
    make_file("caf\xC3\xA9.txt", 0x2);          // café.txt, hidden; é is not in Big5
    platform::run_system("dir /b /a-d E:\\*.txt > out.txt");
    EXPECT_EQ(work_bytes("out.txt"), std::string("c\0a\0f\0\xE9\0.\0t\0x\0t\0\r\0\n\0"
                                                 "\x2D\x4E\x87\x65.\0t\0x\0t\0\r\0\n\0", 36));
    std::vector<std::string> listed = crlf_lines(work_file("out.txt"));
    ASSERT_EQ(listed, (std::vector<std::string>{"caf\xC3\xA9.txt", "\xE4\xB8\xAD\xE6\x96\x87.txt"}));
    for (const std::string& name : listed) platform::run_system("del /a /f \"E:\\" + name + "\"");
    EXPECT_TRUE(stick_contents().empty());
}

// Without /u, cmd writes a listing in code page 950 with best fit: a name Big5 lacks
// comes out as another name, which is why the program never lists that way.
TEST_F(StandinDirFiles, ListsBestFitBig5WithoutUnicode) {
    make_file("Ph\xC5\x8Dtos.exe");   // Phōtos.exe
    make_file("\xE5\x8A\x9F.exe");     // 功.exe
    make_file("\xED\x9C\x95.exe");     // a Hangul syllable
    standin::run_interpreter("cmd.exe /d /v:off /c dir /b E:\\*.exe > out.txt", nullptr, stdin);
    EXPECT_EQ(crlf_lines(work_bytes("out.txt")),
              (std::vector<std::string>{"Photos.exe", "\xA5\x5C.exe", "?.exe"}));
}

// The listing file is created in the current directory even when dir lists nothing, and
// truncated when it already holds an older listing.
TEST_F(StandinDirFiles, RedirectionReplacesTheListingFile) {
    std::ofstream(work_ + "/OUT.TXT") << "old listing\r\n";
    platform::run_system("dir /b E:\\*.none > out.txt 2> nul");
    EXPECT_TRUE(work_file_exists("OUT.TXT"));
    EXPECT_FALSE(work_file_exists("out.txt")) << "the existing name is reused, letter case aside";
    EXPECT_EQ(work_file("OUT.TXT"), "");
}

}  // namespace
}  // namespace standin_test
