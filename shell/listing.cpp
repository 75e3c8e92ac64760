#include "shell/listing.h"

#include <cstdio>
#include <set>

#include "platform/files.h"
#include "shell/command.h"
#include "shell/output.h"
#include "text/messages.h"
#include "text/unicode.h"

namespace shell {

namespace {

// What the program knows of its work files.
struct WorkFiles {
    std::set<std::string> pending;               // queued commands are to write them
    std::vector<std::string> deleted_after_run;  // to delete once those have run
    std::set<std::string> stuck;                 // an old copy could not be deleted before their listing
    std::set<std::string> known_gone;            // deleted by us, and not written since
};

WorkFiles& work_files() {
    static WorkFiles files;
    return files;
}

bool delete_now(const std::string& work_file) {
    if (work_files().known_gone.count(work_file) != 0) return true;
    // A file that remove deleted is gone; only a failure needs a look.
    const bool gone = platform::remove_file(work_file) || !platform::file_exists(work_file);
    if (gone) work_files().known_gone.insert(work_file);
    return gone;
}

}  // namespace

void forget_work_files() { work_files().known_gone.clear(); }

bool delete_work_file(const std::string& work_file) {
    if (work_files().pending.count(work_file) != 0) {
        work_files().deleted_after_run.push_back(work_file);
        return true;
    }
    return delete_now(work_file);
}

void queue_listing(const std::string& command, const std::string& work_file) {
    if (work_files().pending.count(work_file) != 0) run_queued_commands();  // its last listing is still to be made
    if (!delete_now(work_file)) {
        work_files().stuck.insert(work_file);
        return;
    }
    work_files().stuck.erase(work_file);
    work_files().pending.insert(work_file);
    work_files().known_gone.erase(work_file);
    queue_command(command);
}

void commands_ran() {
    work_files().pending.clear();
    std::vector<std::string> files;
    files.swap(work_files().deleted_after_run);
    for (const std::string& work_file : files) delete_now(work_file);
}

std::vector<std::string> split_listing(const std::string& bytes) {
    std::vector<std::string> names;
    std::string line;  // UTF-16LE bytes of the current line
    const size_t end = bytes.size() & ~static_cast<size_t>(1);
    for (size_t i = 0; i < end; i += 2) {
        const bool crlf = i + 3 < end && bytes[i] == '\r' && bytes[i + 1] == '\0' && bytes[i + 2] == '\n' &&
                          bytes[i + 3] == '\0';
        if (!crlf) {
            line.append(bytes, i, 2);
            continue;
        }
        if (!line.empty()) names.push_back(text::utf16le_to_utf8(line));
        line.clear();
        i += 2;
    }
    if (!line.empty()) names.push_back(text::utf16le_to_utf8(line));
    return names;
}

Listing open_listing(const std::string& work_file, bool quiet) {
    if (work_files().pending.count(work_file) != 0) run_queued_commands();
    Listing listing;
    std::FILE* stream = work_files().stuck.count(work_file) != 0 ? nullptr : std::fopen(work_file.c_str(), "rb");
    if (stream == nullptr) {
        if (!quiet) say(format(text::kWorkFileUnreadable, work_file.c_str()));
        return listing;
    }
    listing.opened = true;
    std::string bytes;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) bytes.append(buffer, got);
    std::fclose(stream);
    listing.not_empty = !bytes.empty();
    listing.names = split_listing(bytes);
    return listing;
}

void for_each_name(const std::string& work_file, const std::function<void(const std::string&)>& handle) {
    Listing listing = open_listing(work_file);
    if (!listing.opened) return;
    for (const std::string& name : listing.names) handle(name);
    delete_work_file(work_file);
}

std::vector<std::string> read_all_names(const std::string& work_file, bool quiet) {
    return open_listing(work_file, quiet).names;
}

}  // namespace shell
