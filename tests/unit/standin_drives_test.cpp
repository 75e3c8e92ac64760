// The stand-in's drive list, drive types and Windows directory, all set by environment.
#include <cstring>

#include "platform/drives.h"
#include "standin_fixture.h"

namespace standin_test {
namespace {

class StandinDrives : public ::testing::Test {
  protected:
    EnvironmentGuard env_;
};

struct DriveListCase {
    const char* table;     // NODREL_DRIVES, nullptr for unset
    std::string expected;  // buffer contents up to and with the final zero
};

class StandinDriveList : public StandinDrives, public ::testing::WithParamInterface<DriveListCase> {};

TEST_P(StandinDriveList, ListsRootsInLetterOrder) {
    const DriveListCase& c = GetParam();
    if (c.table == nullptr) {
        env_.unset("NODREL_DRIVES");
    } else {
        env_.set("NODREL_DRIVES", c.table);
    }
    char buffer[128];
    std::memset(buffer, '#', sizeof buffer);
    int used = platform::get_logical_drive_strings(sizeof buffer, buffer);
    if (c.expected.empty()) {
        EXPECT_EQ(used, 0);
        return;
    }
    EXPECT_EQ(used, static_cast<int>(c.expected.size()) - 1);
    EXPECT_EQ(std::string(buffer, c.expected.size()), c.expected);
    EXPECT_EQ(buffer[c.expected.size()], '#') << "written past the list";
}

INSTANTIATE_TEST_SUITE_P(
    StandinTables, StandinDriveList,
    ::testing::Values(
        DriveListCase{"C=fixed:/srv/c;E=removable:/media/stick", std::string("C:\\\0E:\\\0\0", 9)},
        DriveListCase{"E=removable:/e;C=fixed:/c;D=cdrom:/d", std::string("C:\\\0D:\\\0E:\\\0\0", 13)},
        DriveListCase{"f=remote:/f", std::string("F:\\\0\0", 5)},
        DriveListCase{"", ""},
        DriveListCase{nullptr, ""}));

TEST_F(StandinDrives, TooSmallBufferGetsTheNeededSizeAndIsNotWritten) {
    env_.set("NODREL_DRIVES", "C=fixed:/c;E=removable:/e");
    for (int size : {0, 1, 8}) {
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(platform::get_logical_drive_strings(size, buffer), 9) << "size " << size;
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#')) << "size " << size;
    }
    char exact[9];
    EXPECT_EQ(platform::get_logical_drive_strings(sizeof exact, exact), 8);
    EXPECT_EQ(std::string(exact, sizeof exact), std::string("C:\\\0E:\\\0\0", 9));
}

struct DriveTypeCase {
    const char* root;
    unsigned type;
};

class StandinDriveType : public StandinDrives, public ::testing::WithParamInterface<DriveTypeCase> {};

TEST_P(StandinDriveType, ComesFromTheTable) {
    env_.set("NODREL_DRIVES",
             "I=unknown:/i;H=noroot:/h;G=ramdisk:/g;F=remote:/f;E=removable:/e;D=cdrom:/d;C=fixed:/c");
    EXPECT_EQ(platform::get_drive_type(GetParam().root), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    StandinRoots, StandinDriveType,
    ::testing::Values(DriveTypeCase{"C:\\", platform::kDriveFixed}, DriveTypeCase{"D:\\", platform::kDriveCdrom},
                      DriveTypeCase{"E:\\", platform::kDriveRemovable}, DriveTypeCase{"e:\\", platform::kDriveRemovable},
                      DriveTypeCase{"E:", platform::kDriveRemovable}, DriveTypeCase{"F:\\", platform::kDriveRemote},
                      DriveTypeCase{"G:\\", platform::kDriveRamdisk}, DriveTypeCase{"H:\\", platform::kDriveNoRootDir},
                      DriveTypeCase{"I:\\", platform::kDriveUnknown}, DriveTypeCase{"Z:\\", platform::kDriveNoRootDir},
                      DriveTypeCase{"E:\\x", platform::kDriveNoRootDir}));

TEST_F(StandinDrives, WindowsDirectoryComesFromTheEnvironment) {
    env_.unset("NODREL_WINDOWS_DIR");
    EXPECT_EQ(platform::get_windows_directory(), "C:\\WINDOWS");
    env_.set("NODREL_WINDOWS_DIR", "D:\\Win");
    EXPECT_EQ(platform::get_windows_directory(), "D:\\Win");
    env_.set("NODREL_WINDOWS_DIR", "");
    EXPECT_EQ(platform::get_windows_directory(), "");
}

}  // namespace
}  // namespace standin_test
