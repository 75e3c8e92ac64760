// The console's text: names are shown in Big5 (code page 950), like every
// message of the program.
#pragma once

#include <string>

namespace platform {

// A UTF-8 name in Big5, for display only: exact characters where Big5 has them,
// "?" for every other one. No look-alike ("best fit") is ever put in its place.
std::string to_big5(const std::string& utf8);

// True when our stdout (stderr) is a console. The interpreter then writes its
// own text there itself, and the user reads it as the console shows it.
bool stdout_is_console();
bool stderr_is_console();

}  // namespace platform
