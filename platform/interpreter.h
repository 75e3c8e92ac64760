// The command interpreter (cmd.exe on Windows), started as
// "cmd.exe /d /u /v:off /c <command>". Commands are UTF-8 text.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// How commands are joined in one start: each runs to completion before the
// next, and a failed one never stops the ones after it (as "&&" would).
const char kChainJoin[] = " & ";

// The text after "/c" for commands that run in one start.
inline std::string join_chain(const std::vector<std::string>& commands) {
    std::string chain;
    for (const std::string& command : commands) {
        if (!chain.empty()) chain += kChainJoin;
        chain += command;
    }
    return chain;
}

// The most UTF-16 units the text after "/c" may hold. cmd.exe takes 8,191,
// and Wine's crashes past 8,192.
const size_t kMaxCommandUnits = 8000;

// Takes, as they come, the bytes the interpreter writes to one of its streams
// (UTF-16LE for its own text, because of /u).
using StreamReader = std::function<void(const char* bytes, size_t size)>;

// The interpreter's stdout and stderr: where a stream has a reader, what the
// interpreter writes there goes to the reader; otherwise it writes to our own
// stream itself.
struct Streams {
    StreamReader out;
    StreamReader err;
};

// Runs the commands in one start of the interpreter, joined with kChainJoin,
// in order. Their standard input is at its end from the start, so a question
// (del meeting a folder) is answered "no" at once and the chain goes on.
void run_commands(const std::vector<std::string>& commands, const Streams& streams = Streams());

// run_commands with one command.
void run_system(const std::string& command);

// Runs one command line with our own standard input: PAUSE waits for the
// user's key.
void run_with_user_input(const std::string& command, const Streams& streams = Streams());

// Runs one command line and collects the bytes it writes to stdout; its input
// is at its end, its stderr goes to errors (or, without one, to ours).
// Returns false when the command could not be started.
bool read_command_output(const std::string& command, std::string& output, const StreamReader& errors = nullptr);

}  // namespace platform
