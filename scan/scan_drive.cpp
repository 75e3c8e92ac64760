#include <string>

#include "scan/steps.h"
#include "shell/entry.h"
#include "shell/listing.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

const char* const kFileList = "file.txt";
const char* const kCompareList = "file_cmp.txt";
const char* const kVisibleList = "dir_1.txt";
const char* const kHiddenList = "dir_2.txt";

std::string visible_list(int slot) { return shell::format("dir_1_%d.txt", slot); }
std::string hidden_list(int slot) { return shell::format("dir_2_%d.txt", slot); }

std::vector<std::string> all_work_files() {
    std::vector<std::string> files = {kFileList, kCompareList, kVisibleList, kHiddenList};
    for (int slot = 1; slot <= kFolderSlots; ++slot) {
        files.push_back(visible_list(slot));
        files.push_back(hidden_list(slot));
    }
    return files;
}

void scan_drive(const DriveRoot& root) {
    shell::forget_drive_roots();
    shell::say(shell::format(text::kScanning, std::string(root.text, 3).c_str()));
    // Leftovers of an interrupted run must not contribute names. One that cannot
    // be deleted (a read-only file.txt put where we work, say) would be read in
    // place of a listing, so then the drive is not scanned at all.
    bool cleared = true;
    shell::forget_work_files();
    for (const std::string& work_file : all_work_files()) {
        if (!shell::delete_work_file(work_file)) {
            shell::say(shell::format(text::kWorkFileStuck, work_file.c_str()));
            cleared = false;
        }
    }
    if (!cleared) return;
    check_autorun(root);
    remove_hidden_root_executables(root);
    clean_hidden_directories(root);
    remove_directory_lookalikes(root);
    report_remaining_executables(root);
}

}  // namespace scan
