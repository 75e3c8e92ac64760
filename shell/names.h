// Checks on names read from a listing. A name comes off the drive, so the
// malware chooses it: these decide whether it may go into a command line.
#pragma once

#include <string>

namespace shell {

// The extensions searched for executables, in search order.
extern const char* const kExecutableExtensions[5];

// " "E:\<folder>*.com" "E:\<folder>*.bat" ...": one quoted pattern per executable
// extension, each after a blank; folder is empty or ends in a backslash.
std::string executable_patterns(char drive, const std::string& folder);

// True when name ends in ext (".exe"), compared without regard to case.
bool has_extension(const std::string& name, const char* ext);

// True when name ends in one of the executable extensions.
bool has_executable_extension(const std::string& name);

// True when Windows opens the name as a device (CON, NUL, COM1, LPT1, ...) in
// whatever folder it is, with or without an extension, in either case.
bool is_device_name(const std::string& name);

// True when name (UTF-8) can only mean one plain entry of the listed folder:
// not empty, not "." or "..", no path separator, wildcard, quote, redirection,
// pipe, "%" or control character, no trailing blank or dot (Windows drops
// those, so the path would name another entry), only whole Unicode characters,
// and no device name.
bool is_plain_name(const std::string& name);

// "E:\name" and "E:\folder\name".
std::string root_path(char drive, const std::string& name);
std::string folder_path(char drive, const std::string& folder, const std::string& name);

}  // namespace shell
