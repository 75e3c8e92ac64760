// The command interpreter of the stand-in: records each start's command line,
// then runs it through the emulated cmd.exe.
#include "platform/interpreter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "standin/cmd.h"
#include "standin/transcript.h"
#include "standin/volume.h"

namespace platform {

namespace {

// The switches the Windows build starts cmd.exe with.
const char kLaunch[] = "cmd.exe /d /u /v:off /c ";

// For tests of a race: when NODREL_STANDIN_BECOMES_FOLDER names a file
// ("E:\H\x.exe") that a del of this start names, the file turns into a folder
// holding keep.txt before the start runs, after the program has checked it.
void race_file_into_folder(const std::string& chain) {
    const char* path = std::getenv("NODREL_STANDIN_BECOMES_FOLDER");
    if (path == nullptr || *path == '\0' || chain.find("\"" + std::string(path) + "\"") == std::string::npos) return;
    std::string linux_path;
    struct stat info;
    if (!standin::resolve_existing(path, linux_path) || lstat(linux_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    unlink(linux_path.c_str());
    mkdir(linux_path.c_str(), 0755);
    if (FILE* keep = std::fopen((linux_path + "/keep.txt").c_str(), "wb")) {
        std::fputs("keep", keep);
        std::fclose(keep);
    }
    standin::forget_lookups();
}

// Runs a command line. A stream with a reader gets what the interpreter wrote
// there once it has run; the others go to ours.
void run_line(const std::string& command, FILE* input, const Streams& streams) {
    std::string out, err;
    standin::run_interpreter(kLaunch + command, streams.out ? &out : nullptr, input, streams.err ? &err : nullptr);
    if (streams.out && !out.empty()) streams.out(out.data(), out.size());
    if (streams.err && !err.empty()) streams.err(err.data(), err.size());
}

}  // namespace

void run_commands(const std::vector<std::string>& commands, const Streams& streams) {
    const std::string chain = join_chain(commands);
    standin::record_command(chain);
    race_file_into_folder(chain);
    // No input: a question is answered at once, as from a pipe already closed.
    run_line(chain, nullptr, streams);
}

void run_system(const std::string& command) { run_commands({command}); }

void run_with_user_input(const std::string& command, const Streams& streams) {
    standin::record_command(command);
    run_line(command, stdin, streams);
}

bool read_command_output(const std::string& command, std::string& output, const StreamReader& errors) {
    standin::record_command(command);
    output.clear();
    Streams streams;
    streams.out = [&output](const char* bytes, size_t size) { output.append(bytes, size); };
    streams.err = errors;
    run_line(command, nullptr, streams);
    return true;
}

}  // namespace platform
