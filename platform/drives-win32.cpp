// Drives of the machine, straight from the Win32 API.
#include "platform/drives.h"

#include <windows.h>

namespace platform {

int get_logical_drive_strings(int size, char* buffer) {
    if (size < 0) return 0;
    return static_cast<int>(GetLogicalDriveStringsA(static_cast<DWORD>(size), buffer));
}

unsigned get_drive_type(const char* root) {
    return GetDriveTypeA(root);
}

std::string get_windows_directory() {
    char buffer[MAX_PATH + 1];
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    // 0 is failure; a length past the buffer means it did not fit.
    if (length == 0 || length >= sizeof buffer) return std::string();
    return std::string(buffer, length);
}

std::string get_system_directory() {
    char buffer[MAX_PATH + 1];
    UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return std::string();
    return std::string(buffer, length);
}

std::string query_dos_device(char letter) {
    const char device[3] = {letter, ':', '\0'};
    char target[4096];
    // The first of the zero-separated targets is the one in use.
    if (QueryDosDeviceA(device, target, sizeof target) == 0) return std::string();
    target[sizeof target - 1] = '\0';
    return std::string(target);
}

}  // namespace platform
