// Drives of the machine: the drive list, a drive's type and the Windows directory.
#pragma once

#include <string>

namespace platform {

// Drive type codes as GetDriveTypeA returns them.
enum : unsigned {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdrom = 5,
    kDriveRamdisk = 6,
};

// GetLogicalDriveStringsA: fills buffer with 4-byte entries ("E:\" and a zero),
// ended by one more zero. Returns the bytes used without the final zero, 0 on failure.
int get_logical_drive_strings(int size, char* buffer);

// GetDriveTypeA for a root such as "E:\".
unsigned get_drive_type(const char* root);

// GetWindowsDirectoryA, e.g. "C:\WINDOWS"; empty on failure.
std::string get_windows_directory();

}  // namespace platform
