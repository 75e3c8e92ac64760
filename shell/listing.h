// Work files written by dir listings, and reading names back from them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace shell {

// A work file as read back: its names, one per listing line.
struct Listing {
    bool opened = false;     // false when the file could not be opened
    bool not_empty = false;  // the file holds at least one byte
    std::vector<std::string> names;
};

// Deletes a work file; false when it is still there afterwards. One that a
// queued command has yet to write is deleted once the queue has run. A file
// deleted once is not deleted again until a command writes it.
bool delete_work_file(const std::string& work_file);

// Forgets which work files are gone, so that the next deletion of each really
// looks: something else may have put one there since (before a drive).
void forget_work_files();

// Queues a dir command that writes work_file, after deleting any old copy of
// the file. When the old copy stays, the command is not queued, and the
// listing will not open: old content is never read as a new listing.
void queue_listing(const std::string& command, const std::string& work_file);

// Called once the queued commands have run: their work files are written,
// and the deletions that waited for them are done.
void commands_ran();

// The names of a listing that `cmd /u` wrote: UTF-16LE, one name per line,
// lines ended by CR LF. A lone CR or LF is part of the name it is in. Empty
// lines are skipped. Names come back in UTF-8, exactly as listed.
std::vector<std::string> split_listing(const std::string& bytes);

// Reads a work file whole and closes it again, after running the queued
// commands if one of them writes it. When it cannot be opened, says so
// unless quiet.
Listing open_listing(const std::string& work_file, bool quiet = false);

// The listing cycle over a work file of a queued dir command: calls handle
// for each name, then deletes the file.
void for_each_name(const std::string& work_file, const std::function<void(const std::string&)>& handle);

// Reads every name of a work file, leaving the file in place.
std::vector<std::string> read_all_names(const std::string& work_file, bool quiet = false);

}  // namespace shell
