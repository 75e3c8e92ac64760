#include <gtest/gtest.h>

#include "driver/run.h"
#include "platform/drives.h"

namespace {

TEST(Driver, DriveLetterOf) {
    struct Case {
        const char* text;
        char letter;
    } cases[] = {
        {"C:\r\n", 'C'}, {"c:", 'C'}, {"D:\\WINDOWS", 'D'}, {"%SYSTEMDRIVE%\r\n", 0},
        {"", 0},         {"C", 0},    {"1:", 0},            {"\xa7\x41:", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(driver::drive_letter_of(c.text), c.letter) << c.text;
    }
}

TEST(Driver, ShouldScan) {
    using namespace platform;
    const driver::SystemDrives on_c{'C', 'C', 'C'};
    struct Case {
        const char* root;
        unsigned type;
        driver::SystemDrives system;
        bool scan;
    } cases[] = {
        {"E:\\", kDriveRemovable, on_c, true},  {"D:\\", kDriveFixed, on_c, true},
        {"B:\\", kDriveRemovable, on_c, true},  {"A:\\", kDriveRemovable, on_c, false},
        {"a:\\", kDriveRemovable, on_c, false}, {"C:\\", kDriveFixed, on_c, false},
        {"C:\\", kDriveRemovable, on_c, false}, {"c:\\", kDriveFixed, on_c, false},
        {"E:\\", kDriveCdrom, on_c, false},     {"E:\\", kDriveRemote, on_c, false},
        {"E:\\", kDriveRamdisk, on_c, false},   {"E:\\", kDriveNoRootDir, on_c, false},
        {"E:\\", kDriveUnknown, on_c, false},   {"E:\\", kDriveRemovable, {0, 0, 0}, false},
        // A planted SYSTEMDRIVE does not make the real system drive a target.
        {"C:\\", kDriveFixed, {'Z', 'C', 'C'}, false}, {"Z:\\", kDriveFixed, {'Z', 'C', 'C'}, false},
        {"D:\\", kDriveFixed, {'C', 'D', 'C'}, false}, {"D:\\", kDriveFixed, {'C', 'C', 'D'}, false},
        {"E:\\", kDriveFixed, {0, 0, 'C'}, true},      {"C:\\", kDriveFixed, {0, 0, 'C'}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(driver::should_scan(c.root, c.type, c.system), c.scan) << c.root << " type " << c.type;
    }
}

TEST(Driver, ShownSystemDrive) {
    EXPECT_EQ((driver::SystemDrives{'Z', 'C', 'C'}).shown(), 'Z');
    EXPECT_EQ((driver::SystemDrives{0, 'D', 'C'}).shown(), 'D');
    EXPECT_EQ((driver::SystemDrives{0, 0, 'C'}).shown(), 0);
}

TEST(Driver, SubstDrives) {
    EXPECT_TRUE(driver::is_subst_target("\\??\\C:\\some\\folder"));
    EXPECT_FALSE(driver::is_subst_target("\\Device\\HarddiskVolume2"));
    EXPECT_FALSE(driver::is_subst_target(""));
}

}  // namespace
