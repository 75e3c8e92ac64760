#include "shell/command.h"

#include <cstdio>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/interpreter.h"
#include "shell/listing.h"
#include "shell/output.h"
#include "shell/relay.h"
#include "text/messages.h"
#include "text/unicode.h"

namespace shell {

namespace {

// One start of the interpreter: its commands and the UTF-16 units they take.
struct Start {
    std::vector<std::string> commands;
    size_t units = 0;
};

std::vector<Start>& queued() {
    static std::vector<Start> starts;
    return starts;
}

const size_t kJoinUnits = sizeof platform::kChainJoin - 1;

Relay& relay_of_stdout() {
    static Relay relay{stdout, {}, {}};
    return relay;
}
Relay& relay_of_stderr() {
    static Relay relay{stderr, {}, {}};
    return relay;
}

// Off the console, what the interpreter writes comes to us and goes on in
// Big5; on a console it writes there itself.
platform::Streams interpreter_streams() {
    platform::Streams streams;
    if (!platform::stdout_is_console()) {
        streams.out = [](const char* bytes, size_t size) { relay_bytes(relay_of_stdout(), bytes, size); };
    }
    if (!platform::stderr_is_console()) {
        streams.err = [](const char* bytes, size_t size) { relay_bytes(relay_of_stderr(), bytes, size); };
    }
    return streams;
}

// One start of the interpreter has ended, and its streams with it.
void end_streams() {
    end_relay(relay_of_stdout());
    end_relay(relay_of_stderr());
}

}  // namespace

size_t units_in_start(const std::string& command) {
    return text::utf8_to_utf16(command).size() + kJoinUnits;
}

size_t room_in_new_start() { return platform::kMaxCommandUnits + kJoinUnits; }

size_t room_in_last_start() {
    if (queued().empty()) return room_in_new_start();
    const size_t used = queued().back().units + kJoinUnits;
    return used >= platform::kMaxCommandUnits + kJoinUnits ? 0 : platform::kMaxCommandUnits + kJoinUnits - used;
}

void queue_command(const std::string& command) {
    // A command is never cut: one longer than a start runs alone.
    const size_t units = units_in_start(command);
    if (queued().empty() || units > room_in_last_start()) queued().emplace_back();
    Start& start = queued().back();
    start.units += start.commands.empty() ? units - kJoinUnits : units;
    start.commands.push_back(command);
}

void run_queued_commands() {
    // Our own lines first, so that they and the commands' output reach the
    // console in the order they happen.
    std::fflush(stdout);
    std::vector<Start> starts;
    starts.swap(queued());
    for (const Start& start : starts) {
        platform::run_commands(start.commands, interpreter_streams());
        end_streams();
    }
    commands_ran();
    write_held_lines();
}

void run_with_user_input(const std::string& command) {
    run_queued_commands();
    std::fflush(stdout);
    platform::run_with_user_input(command, interpreter_streams());
    end_streams();
}

std::string command_output(const std::string& command) {
    run_queued_commands();
    std::fflush(stdout);
    std::string output;
    if (!platform::read_command_output(command, output, interpreter_streams().err)) output.clear();
    end_streams();
    // The interpreter writes its own commands' output in UTF-16LE (/u).
    return text::utf16le_to_utf8(output);
}

void remove_entry(const char* switches, const std::string& path) {
    queue_command(format("del %s \"%s\"", switches, path.c_str()));
    // del reports nothing we can rely on; once it has run, look whether the
    // file is really gone.
    say_later([path] {
        const char* report = platform::file_exists(path) ? text::kNotRemoved : text::kRemoved;
        return format(report, for_console(path).c_str());
    });
}

}  // namespace shell
