#include <cstdio>
#include <string>

#include "scan/steps.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

const char* const kFileList = "file.txt";
const char* const kCompareList = "file_cmp.txt";
const char* const kVisibleList = "dir_1.txt";
const char* const kHiddenList = "dir_2.txt";

void scan_drive(const DriveRoot& root) {
    // Leftovers of an interrupted run must not contribute names.
    for (const char* work_file : {kFileList, kCompareList, kVisibleList, kHiddenList}) {
        std::remove(work_file);
    }
    shell::say(shell::format(text::kScanning, std::string(root.text, 3).c_str()));
    check_autorun(root);
    remove_hidden_root_executables(root);
    clean_hidden_directories(root);
    remove_directory_lookalikes(root);
    report_remaining_executables(root);
}

}  // namespace scan
