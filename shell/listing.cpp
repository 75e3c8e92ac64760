#include "shell/listing.h"

#include <cstdio>

#include "platform/files.h"
#include "shell/output.h"
#include "text/messages.h"
#include "text/unicode.h"

namespace shell {

bool delete_work_file(const char* work_file) {
    platform::remove_file(work_file);
    return !platform::file_exists(work_file);
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

Listing open_listing(const char* work_file, bool quiet) {
    Listing listing;
    std::FILE* stream = std::fopen(work_file, "rb");
    if (stream == nullptr) {
        if (!quiet) say(format(text::kWorkFileUnreadable, work_file));
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

void for_each_name(const char* work_file, const std::function<void(const std::string&)>& handle) {
    Listing listing = open_listing(work_file);
    if (!listing.opened) return;
    for (const std::string& name : listing.names) handle(name);
    delete_work_file(work_file);
}

std::vector<std::string> read_all_names(const char* work_file, bool quiet) {
    return open_listing(work_file, quiet).names;
}

}  // namespace shell
