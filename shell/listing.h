// Work files written by dir listings, and reading names back from them.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace shell {

// An open work file. stream is null when the file could not be opened.
struct Listing {
    std::FILE* stream = nullptr;
    bool not_empty = false;
};

// Deletes a work file; false when it is still there afterwards.
bool delete_work_file(const char* work_file);

// Opens a work file for reading and tells whether it holds anything. When it
// cannot be opened, says so unless quiet.
Listing open_listing(const char* work_file, bool quiet = false);

// Reads the next name: one whole line of the listing, without its line end.
// Empty lines are skipped. Returns false at the end of the listing.
bool read_name(std::FILE* stream, std::string& name);

// The listing cycle over a work file that a dir command has just written:
// calls handle for each name, then closes the file and deletes it.
void for_each_name(const char* work_file, const std::function<void(const std::string&)>& handle);

// Reads every name of a work file, leaving the file in place.
std::vector<std::string> read_all_names(const char* work_file, bool quiet = false);

}  // namespace shell
