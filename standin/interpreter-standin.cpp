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

}  // namespace

void run_commands(const std::vector<std::string>& commands) {
    const std::string chain = join_chain(commands);
    standin::record_command(chain);
    race_file_into_folder(chain);
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
