#include "shell/command.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/interpreter.h"
#include "shell/output.h"
#include "text/messages.h"
#include "text/unicode.h"

namespace shell {

void run_command(const std::string& command) {
    std::fflush(stdout);
    platform::run_system(command);
}

std::string command_output(const std::string& command) {
    std::fflush(stdout);
    std::string output;
    if (!platform::read_command_output(command, output)) output.clear();
    // The interpreter writes its own commands' output in UTF-16LE (/u).
    return text::utf16le_to_utf8(output);
}

void remove_entry(const char* switches, const std::string& path) {
    run_command(format("del %s \"%s\"", switches, path.c_str()));
    // del reports nothing we can rely on; look whether the file is really gone.
    const char* report = platform::file_exists(path) ? text::kNotRemoved : text::kRemoved;
    say(format(report, for_console(path).c_str()));
}

}  // namespace shell
