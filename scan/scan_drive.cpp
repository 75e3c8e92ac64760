#include <string>

#include "scan/steps.h"
#include "shell/listing.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

const char* const kFileList = "file.txt";
const char* const kCompareList = "file_cmp.txt";
const char* const kVisibleList = "dir_1.txt";
const char* const kHiddenList = "dir_2.txt";

void scan_drive(const DriveRoot& root) {
    shell::say(shell::format(text::kScanning, std::string(root.text, 3).c_str()));
    // Leftovers of an interrupted run must not contribute names. One that cannot
    // be deleted (a read-only file.txt put where we work, say) would be read in
    // place of a listing, so then the drive is not scanned at all.
    bool cleared = true;
    for (const char* work_file : {kFileList, kCompareList, kVisibleList, kHiddenList}) {
        if (!shell::delete_work_file(work_file)) {
            shell::say(shell::format(text::kWorkFileStuck, work_file));
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
