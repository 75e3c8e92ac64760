// Drives of the stand-in machine, configured by NODREL_DRIVES and NODREL_WINDOWS_DIR.
#include "platform/drives.h"

#include <cctype>
#include <cstdlib>

#include "standin/volume.h"

namespace platform {

int get_logical_drive_strings(int size, char* buffer) {
    std::vector<standin::Drive> drives = standin::configured_drives();
    if (drives.empty()) return 0;
    // "C:\", a zero, per drive, then one more zero.
    int needed = static_cast<int>(drives.size()) * 4 + 1;
    if (buffer == nullptr || size < needed) return needed;
    char* out = buffer;
    for (const standin::Drive& drive : drives) {
        *out++ = drive.letter;
        *out++ = ':';
        *out++ = '\\';
        *out++ = '\0';
    }
    *out = '\0';
    return needed - 1;
}

unsigned get_drive_type(const char* root) {
    // Accepts "E:\" and "E:"; anything else has no root directory, like an unknown letter.
    if (root == nullptr || !std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':' ||
        (root[2] != '\0' && !(root[2] == '\\' && root[3] == '\0'))) {
        return kDriveNoRootDir;
    }
    standin::Drive drive;
    return standin::find_drive(root[0], drive) ? drive.type : kDriveNoRootDir;
}

std::string get_windows_directory() {
    const char* value = std::getenv("NODREL_WINDOWS_DIR");
    return value == nullptr ? "C:\\WINDOWS" : value;
}

std::string get_system_directory() {
    if (const char* value = std::getenv("NODREL_SYSTEM_DIR")) return value;
    // By default it lies in the Windows folder, wherever that is.
    const std::string windows = get_windows_directory();
    return windows.empty() ? std::string() : windows + "\\system32";
}

std::string query_dos_device(char letter) {
    standin::Drive drive;
    if (!standin::find_drive(letter, drive)) return std::string();
    if (!drive.subst.empty()) return "\\??\\" + drive.subst;
    return std::string("\\Device\\HarddiskVolume") + static_cast<char>(drive.letter);
}

}  // namespace platform
