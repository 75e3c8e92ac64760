// The command interpreter of the stand-in: records each command line, then runs it
// through the emulated cmd.exe.
#include "platform/interpreter.h"

#include <cstdio>

#include "standin/cmd.h"
#include "standin/transcript.h"

namespace platform {

namespace {

// The switches the Windows build starts cmd.exe with.
const char kLaunch[] = "cmd.exe /d /u /v:off /c ";

}  // namespace

void run_system(const std::string& command) {
    standin::record_command(command);
    standin::run_interpreter(kLaunch + command, nullptr, stdin);
}

bool read_command_output(const std::string& command, std::string& output) {
    standin::record_command(command);
    output.clear();
    standin::run_interpreter(kLaunch + command, &output, stdin);
    return true;
}

}  // namespace platform
