// The command interpreter of the stand-in: records each start's command line,
// then runs it through the emulated cmd.exe.
#include "platform/interpreter.h"

#include <cstdio>

#include "standin/cmd.h"
#include "standin/transcript.h"

namespace platform {

namespace {

// The switches the Windows build starts cmd.exe with.
const char kLaunch[] = "cmd.exe /d /u /v:off /c ";

}  // namespace

void run_commands(const std::vector<std::string>& commands) {
    const std::string chain = join_chain(commands);
    standin::record_command(chain);
    // No input: a question is answered at once, as from a pipe already closed.
    standin::run_interpreter(kLaunch + chain, nullptr, nullptr);
}

void run_system(const std::string& command) { run_commands({command}); }

void run_with_user_input(const std::string& command) {
    standin::record_command(command);
    standin::run_interpreter(kLaunch + command, nullptr, stdin);
}

bool read_command_output(const std::string& command, std::string& output) {
    standin::record_command(command);
    output.clear();
    standin::run_interpreter(kLaunch + command, &output, nullptr);
    return true;
}

}  // namespace platform
