// The program's console output: one function for every line it prints.
#pragma once

#include <string>

namespace shell {

// printf-style formatting into a string of any length.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// A path or name (UTF-8) as the console shows it: Big5, with "?" for each
// character Big5 lacks and for each control character, so that a name can
// never break a line. For display only: what is shown is never fed back.
std::string for_console(const std::string& utf8);

// Writes one line to stdout.
void say(const std::string& line);

}  // namespace shell
