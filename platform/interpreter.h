// The command interpreter (cmd.exe on Windows), started as
// "cmd.exe /d /u /v:off /c <command>". Commands are UTF-8 text.
#pragma once

#include <string>

namespace platform {

// Runs one command line to completion; its output goes to our console.
void run_system(const std::string& command);

// Runs one command line and collects the bytes it writes to stdout (UTF-16LE
// for the interpreter's own commands, because of /u).
// Returns false when the command could not be started.
bool read_command_output(const std::string& command, std::string& output);

}  // namespace platform
