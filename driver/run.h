// One run of the program, from the banner to the pause.
#pragma once

#include <string>

namespace driver {

// The drives that hold the system: the drive of SYSTEMDRIVE (from "echo
// %SYSTEMDRIVE%"), of the Windows folder and of the system folder. Any of them
// can be missing (0); SYSTEMDRIVE can be set per user, so none alone decides.
struct SystemDrives {
    char variable = 0;  // SYSTEMDRIVE's letter
    char windows = 0;   // the Windows folder's letter
    char system = 0;    // the system folder's letter

    // The letter the notice shows: SYSTEMDRIVE's, else the Windows folder's.
    char shown() const { return variable != 0 ? variable : windows; }
    bool known() const { return variable != 0 || windows != 0 || system != 0; }
    bool holds(char letter) const { return letter == variable || letter == windows || letter == system; }
};
SystemDrives find_system_drives();

// The drive letter at the start of text such as "C:" or "c:\WINDOWS", upper
// case; 0 when text does not start with a drive.
char drive_letter_of(const std::string& text);

// True when QueryDosDeviceA's answer for a letter shows a SUBST drive: an alias
// ("\??\C:\folder") of a folder on another drive.
bool is_subst_target(const std::string& dos_device);

// True for removable and fixed drives other than A: and the system drives.
bool should_scan(const char* root, unsigned drive_type, const SystemDrives& system);

// The whole run; returns the exit status, always 0.
int run();

}  // namespace driver
