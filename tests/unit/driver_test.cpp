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
    struct Case {
        const char* root;
        unsigned type;
        char system;
        bool scan;
    } cases[] = {
        {"E:\\", kDriveRemovable, 'C', true},  {"D:\\", kDriveFixed, 'C', true},
        {"B:\\", kDriveRemovable, 'C', true},  {"A:\\", kDriveRemovable, 'C', false},
        {"a:\\", kDriveRemovable, 'C', false}, {"C:\\", kDriveFixed, 'C', false},
        {"C:\\", kDriveRemovable, 'C', false}, {"c:\\", kDriveFixed, 'C', false},
        {"E:\\", kDriveCdrom, 'C', false},     {"E:\\", kDriveRemote, 'C', false},
        {"E:\\", kDriveRamdisk, 'C', false},   {"E:\\", kDriveNoRootDir, 'C', false},
        {"E:\\", kDriveUnknown, 'C', false},   {"E:\\", kDriveRemovable, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(driver::should_scan(c.root, c.type, c.system), c.scan) << c.root << " type " << c.type;
    }
}

}  // namespace
