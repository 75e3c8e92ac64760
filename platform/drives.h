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

// GetSystemDirectoryA, e.g. "C:\WINDOWS\system32"; empty on failure.
std::string get_system_directory();

// QueryDosDeviceA for a drive letter: what the letter stands for, e.g.
// "\Device\HarddiskVolume2", or "\??\C:\some\folder" for a SUBST drive.
// Empty on failure.
std::string query_dos_device(char letter);

}  // namespace platform
