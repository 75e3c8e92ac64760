// The stand-in's cmd.exe: parses a command line the way cmd.exe /c does and runs the
// few built-in commands the program uses (dir, del, echo, pause) on the mapped drives.
#pragma once

#include <cstdio>
#include <string>

namespace standin {

// Runs a whole interpreter line, "cmd.exe <switches> /c <command>", to completion.
// With /u, whatever it writes to a file, a pipe or a capture is UTF-16LE;
// without it, Big5 with best fit. The command is UTF-8 text.
// Complaints go to `errors` when it is not null, else to C stderr.
bool run_interpreter(const std::string& line, std::string* capture, FILE* input, std::string* errors = nullptr);

// Runs one command line to completion, as without /u. The commands' normal output goes to `capture`
// when it is not null, else to C stdout; complaints go to `errors`, or to C stderr; pause reads from
// `input`. Returns false when the last command that ran failed (unknown command, nothing listed...).
bool run_command_line(const std::string& line, std::string* capture, FILE* input, std::string* errors = nullptr);

// Replaces each %NAME% by the environment variable of that name (letter case aside);
// an undefined one stays as typed, as cmd.exe leaves it on a command line.
std::string expand_variables(const std::string& line);

}  // namespace standin
