// The command interpreter (cmd.exe on Windows).
#pragma once

#include <string>

namespace platform {

// Runs one command line to completion; its output goes to our console.
void run_system(const std::string& command);

// Runs one command line and collects what it writes to stdout.
// Returns false when the command could not be started.
bool read_command_output(const std::string& command, std::string& output);

}  // namespace platform
