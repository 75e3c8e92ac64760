// Commands sent to the command interpreter.
#pragma once

#include <string>

namespace shell {

// Runs one command line to completion. Our own lines are flushed first, so
// that they and the command's output reach the console in the order they happen.
void run_command(const std::string& command);

// Runs one command line and returns what it printed, in UTF-8; empty if it
// could not run.
std::string command_output(const std::string& command);

// Deletes the file at path with "del <switches> "<path>"", then reports
// whether it is gone. path must be a checked name (see names.h).
void remove_entry(const char* switches, const std::string& path);

}  // namespace shell
