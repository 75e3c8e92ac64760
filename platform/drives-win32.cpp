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

}  // namespace platform
