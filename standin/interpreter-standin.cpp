// The command interpreter of the stand-in: records each command line, then runs it
// through the emulated cmd.exe.
#include "platform/interpreter.h"

#include <cstdio>

#include "standin/cmd.h"
#include "standin/transcript.h"

namespace platform {

void run_system(const std::string& command) {
    standin::record_command(command);
    standin::run_command_line(command, nullptr, stdin);
}

bool read_command_output(const std::string& command, std::string& output) {
    standin::record_command(command);
    output.clear();
    standin::run_command_line(command, &output, stdin);
    return true;
}

}  // namespace platform
