#include "shell/listing.h"

#include "platform/files.h"
#include "shell/output.h"
#include "text/messages.h"

namespace shell {

bool delete_work_file(const char* work_file) {
    platform::remove_file(work_file);
    return !platform::file_exists(work_file);
}

Listing open_listing(const char* work_file, bool quiet) {
    Listing listing;
    listing.stream = std::fopen(work_file, "r");
    if (listing.stream == nullptr) {
        if (!quiet) say(format(text::kWorkFileUnreadable, work_file));
        return listing;
    }
    std::fseek(listing.stream, 0, SEEK_END);
    listing.not_empty = std::ftell(listing.stream) != 0;
    std::rewind(listing.stream);
    return listing;
}

bool read_name(std::FILE* stream, std::string& name) {
    name.clear();
    int c;
    while ((c = std::fgetc(stream)) != EOF) {
        if (c == '\n') {
            if (!name.empty() && name.back() == '\r') name.pop_back();
            if (!name.empty()) return true;
            continue;
        }
        name.push_back(static_cast<char>(c));
    }
    if (!name.empty() && name.back() == '\r') name.pop_back();
    return !name.empty();
}

static void read_names(const Listing& listing, const std::function<void(const std::string&)>& handle) {
    if (!listing.not_empty) return;
    std::string name;
    while (read_name(listing.stream, name)) handle(name);
}

void for_each_name(const char* work_file, const std::function<void(const std::string&)>& handle) {
    Listing listing = open_listing(work_file);
    if (listing.stream == nullptr) return;
    read_names(listing, handle);
    std::fclose(listing.stream);
    delete_work_file(work_file);
}

std::vector<std::string> read_all_names(const char* work_file, bool quiet) {
    std::vector<std::string> names;
    Listing listing = open_listing(work_file, quiet);
    if (listing.stream == nullptr) return names;
    read_names(listing, [&names](const std::string& name) { names.push_back(name); });
    std::fclose(listing.stream);
    return names;
}

}  // namespace shell

