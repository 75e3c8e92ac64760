#include "driver/run.h"

#include <cstring>

#include "platform/drives.h"
#include "scan/steps.h"
#include "shell/command.h"
#include "shell/output.h"
#include "text/messages.h"

namespace driver {

namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

char drive_letter_of(const std::string& text) {
    if (text.size() < 2 || text[1] != ':') return 0;
    char letter = upper(text[0]);
    return (letter >= 'A' && letter <= 'Z') ? letter : 0;
}

SystemDrives find_system_drives() {
    SystemDrives drives;
    // An unset variable echoes as typed, and names no drive.
    drives.variable = drive_letter_of(shell::command_output("echo %SYSTEMDRIVE%"));
    drives.windows = drive_letter_of(platform::get_windows_directory());
    drives.system = drive_letter_of(platform::get_system_directory());
    return drives;
}

bool is_subst_target(const std::string& dos_device) {
    return dos_device.compare(0, 4, "\\??\\") == 0;
}

bool should_scan(const char* root, unsigned drive_type, const SystemDrives& system) {
    if (drive_type != platform::kDriveRemovable && drive_type != platform::kDriveFixed) return false;
    char letter = upper(root[0]);
    // Without a known system drive, no drive is safe to scan.
    return letter != 'A' && system.known() && !system.holds(letter);
}

int run() {
    shell::say(shell::format(text::kBanner, text::kVersion, text::kBuildDate));
    shell::say(text::kTagline);
    const SystemDrives system = find_system_drives();
    const char shown[2] = {system.shown(), 0};
    shell::say(shell::format(text::kSystemDrive, shown));
    shell::say(text::kSystemNotScanned);
    shell::say(text::kSearching);

    char drive_list[255] = {};
    int length = platform::get_logical_drive_strings(sizeof drive_list, drive_list);
    // A result beyond the buffer is the size it would have needed: nothing was written.
    if (length >= static_cast<int>(sizeof drive_list)) length = 0;
    bool scanned = false;
    for (int position = 0; position + 3 <= length; position += 4) {
        scan::DriveRoot root;
        std::memcpy(root.text, drive_list + position, 4);
        if (!should_scan(root.text, platform::get_drive_type(root.text), system)) continue;
        // A SUBST drive is another name of a folder that is scanned, or not, under its own letter.
        if (is_subst_target(platform::query_dos_device(root.text[0]))) continue;
        scanned = true;
        scan::scan_drive(root);
    }
    shell::say(scanned ? text::kScanFinished : text::kNoDriveFound);
    shell::run_with_user_input("PAUSE");
    return 0;
}

}  // namespace driver
