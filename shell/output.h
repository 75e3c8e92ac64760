// The program's console output: one function for every line it prints.
#pragma once

#include <functional>
#include <string>

namespace shell {

// printf-style formatting into a string of any length.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// A path or name (UTF-8) as the console shows it: Big5, with "?" for each
// character Big5 lacks and for each control character, so that a name can
// never break a line. For display only: what is shown is never fed back.
std::string for_console(const std::string& utf8);

// Writes one line to stdout, or holds it back behind the lines already held.
void say(const std::string& line);

// Holds back a line that can only be made once the commands queued so far
// have run (a removal report); line is called then. Every line said after it
// waits behind it, so that the order of lines stays the order of events.
void say_later(std::function<std::string()> line);

// Makes and writes the held-back lines, in order. Called once the queued
// commands have run.
void write_held_lines();

}  // namespace shell
