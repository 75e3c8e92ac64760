#include <string>
#include <vector>

#include "scan/steps.h"
#include "shell/command.h"
#include "shell/entry.h"
#include "shell/listing.h"
#include "shell/names.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

namespace {

// A hidden folder of the root: what its check found and, if it passed, the
// slot of its pair of work files.
struct Folder {
    std::string name;
    shell::Verdict verdict = shell::Verdict::kUnexamined;
    int slot = 0;
};

// dir over the five executable patterns inside one folder.
std::string folder_listing(const char* switches, char drive, const std::string& folder, const std::string& work_file) {
    return std::string("dir ") + switches + shell::executable_patterns(drive, folder + "\\") + " > " + work_file;
}

// Files only: a subfolder named like an executable is not ours to touch.
std::string visible_listing(char drive, const std::string& folder, int slot) {
    return folder_listing("/b /a-d-h-s", drive, folder, visible_list(slot));
}
std::string hidden_listing(char drive, const std::string& folder, int slot) {
    return folder_listing("/ah-d /B", drive, folder, hidden_list(slot));
}

// Checks the folders from next on and queues the listings of as many as fit
// into the start the queue ends in (or into a fresh one, when not even one
// fits there), at most kFolderSlots. Returns them, refused ones included.
std::vector<Folder> queue_batch(char drive, const std::vector<std::string>& names, size_t& next) {
    std::vector<Folder> batch;
    size_t room = shell::room_in_last_start();
    int slot = 0;
    for (; next < names.size(); ++next) {
        Folder folder;
        folder.name = names[next];
        folder.verdict = shell::check_entry(folder.name, shell::root_path(drive, folder.name), shell::Kind::kFolder,
                                            shell::Visibility::kHidden);
        if (folder.verdict == shell::Verdict::kAccepted) {
            if (slot == kFolderSlots) break;
            const size_t units = shell::units_in_start(visible_listing(drive, folder.name, slot + 1)) +
                                 shell::units_in_start(hidden_listing(drive, folder.name, slot + 1));
            if (units > room) {
                if (slot > 0) break;
                room = shell::room_in_new_start();  // not even one fits: a start of its own
            }
            room = units > room ? 0 : room - units;
            folder.slot = ++slot;
            shell::queue_listing(visible_listing(drive, folder.name, slot), visible_list(slot));
            shell::queue_listing(hidden_listing(drive, folder.name, slot), hidden_list(slot));
        }
        batch.push_back(folder);
    }
    return batch;
}

void remove_listed(char drive, const std::string& folder, const std::string& work_file, shell::Visibility visibility,
                   const char* del_switches) {
    shell::for_each_name(work_file, [&](const std::string& name) {
        if (!shell::has_executable_extension(name)) return;
        const std::string path = shell::folder_path(drive, folder, name);
        if (!shell::accept_entry(name, path, shell::Kind::kFile, visibility)) return;
        shell::remove_entry(del_switches, path);
    });
}

// The folder's lines, in the order of a scan folder by folder: its scanning
// line, then the removals from its first listing, then from its second.
void clean_folder(char drive, const Folder& folder) {
    const std::string path = shell::root_path(drive, folder.name);
    if (folder.verdict != shell::Verdict::kAccepted) {
        shell::say_left_for_user(path, folder.verdict);
        return;
    }
    shell::say(shell::format(text::kScanning, shell::for_console(path).c_str()));
    remove_listed(drive, folder.name, visible_list(folder.slot), shell::Visibility::kPlain, "/f");
    remove_listed(drive, folder.name, hidden_list(folder.slot), shell::Visibility::kHidden, "/ah /f");
}

}  // namespace

void clean_hidden_directories(const DriveRoot& root) {
    const char drive = root.text[0];
    shell::say(text::kStep3Heading);
    shell::queue_listing(shell::format("dir \"%c:\\\" /ahd /b > %s", drive, kFileList), kFileList);
    // file.txt stays: the next step reads the same list of hidden folders.
    const std::vector<std::string> names = shell::read_all_names(kFileList);
    size_t next = 0;
    while (next < names.size()) {
        for (const Folder& folder : queue_batch(drive, names, next)) clean_folder(drive, folder);
    }
}

}  // namespace scan
