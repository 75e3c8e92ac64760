// Commands sent to the command interpreter. They wait in a queue until the
// program needs a result (a work file to read, a deleted file to look at, the
// user's key); then they run in as few starts of cmd.exe as fit.
#pragma once

#include <cstddef>
#include <string>

namespace shell {

// Queues one command line; it runs, in order, before the next result is read.
// A command begins with its command word, never with a quote.
void queue_command(const std::string& command);

// UTF-16 units left in the start the next queued command would join: a
// command longer than that, with its join, begins a start of its own.
size_t room_in_last_start();

// The same in a start of its own.
size_t room_in_new_start();

// The UTF-16 units a command takes in a start, with its join.
size_t units_in_start(const std::string& command);

// Runs every queued command, then deletes the work files waiting for them and
// writes the lines held back behind them.
void run_queued_commands();

// Runs the queued commands, then one command with our own standard input
// (PAUSE, which waits for the user's key).
void run_with_user_input(const std::string& command);

// Runs one command line and returns what it printed, in UTF-8; empty if it
// could not run.
std::string command_output(const std::string& command);

// Queues "del <switches> "<path>"" and its report: whether the file is gone,
// looked at once the del has run. path must be a checked name (see names.h).
void remove_entry(const char* switches, const std::string& path);

}  // namespace shell
