// Every command line the program sent to the stand-in's command interpreter, in order.
#pragma once

#include <string>
#include <vector>

namespace standin {

// Command lines received by run_system and read_command_output in this process.
const std::vector<std::string>& transcript();

// Forgets the lines recorded so far in this process (the NODREL_TRANSCRIPT file is kept).
void clear_transcript();

// Records one command line: in this process, and appended to the NODREL_TRANSCRIPT file if set.
void record_command(const std::string& command);

}  // namespace standin
