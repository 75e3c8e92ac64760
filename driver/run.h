// One run of the program, from the banner to the pause.
#pragma once

#include <string>

namespace driver {

// The system drive's letter in upper case, from "echo %SYSTEMDRIVE%" or, when
// that gives no drive, from the Windows directory; 0 when neither does.
char find_system_drive();

// The drive letter at the start of text such as "C:" or "c:\WINDOWS", upper
// case; 0 when text does not start with a drive.
char drive_letter_of(const std::string& text);

// True for removable and fixed drives other than A: and the system drive.
bool should_scan(const char* root, unsigned drive_type, char system_drive);

// The whole run; returns the exit status, always 0.
int run();

}  // namespace driver
