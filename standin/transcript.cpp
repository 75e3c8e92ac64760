// Keeps the command lines the program sent, so tests can check what it asked cmd.exe to do.
#include "standin/transcript.h"

#include <cstdio>
#include <cstdlib>

namespace standin {

namespace {

std::vector<std::string>& lines() {
    static std::vector<std::string> recorded;
    return recorded;
}

}  // namespace

const std::vector<std::string>& transcript() { return lines(); }

void clear_transcript() { lines().clear(); }

void record_command(const std::string& command) {
    lines().push_back(command);
    const char* path = std::getenv("NODREL_TRANSCRIPT");
    if (path == nullptr || *path == '\0') return;
    FILE* file = std::fopen(path, "ab");
    if (file == nullptr) {
        std::fprintf(stderr, "nodrel stand-in: cannot append to NODREL_TRANSCRIPT file %s\n", path);
        return;
    }
    std::fwrite(command.data(), 1, command.size(), file);
    std::fputc('\n', file);
    std::fclose(file);
}

}  // namespace standin
