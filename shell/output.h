// The program's console output: one function for every line it prints.
#pragma once

#include <string>

namespace shell {

// printf-style formatting into a string of any length.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// Writes one line to stdout.
void say(const std::string& line);

}  // namespace shell
