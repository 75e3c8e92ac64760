// The scan of one drive and its five steps.
#pragma once

#include <string>
#include <vector>

namespace scan {

// One entry of the drive list: letter, ':', '\', zero, then two zero bytes.
struct DriveRoot {
    char text[6] = {};
};

// The work files, in the current directory.
extern const char* const kFileList;      // "file.txt"
extern const char* const kCompareList;   // "file_cmp.txt"
extern const char* const kVisibleList;   // "dir_1.txt"
extern const char* const kHiddenList;    // "dir_2.txt"

// Step 3 lists many hidden folders in one start, each into a pair of work
// files of its own: "dir_1_<slot>.txt" (files neither hidden nor system) and
// "dir_2_<slot>.txt" (hidden files), slot 1 to kFolderSlots.
const int kFolderSlots = 64;
std::string visible_list(int slot);
std::string hidden_list(int slot);

// Every work file a drive's scan may leave behind when it is stopped, the
// unnumbered dir_1.txt and dir_2.txt of earlier versions included.
std::vector<std::string> all_work_files();

// Clears the work files, prints the drive line and runs the five steps in order.
void scan_drive(const DriveRoot& root);

// Deletes a hidden, readable autorun.inf in the root.
void check_autorun(const DriveRoot& root);
// Deletes hidden executables in the root, except NTDETECT.COM.
void remove_hidden_root_executables(const DriveRoot& root);
// Deletes the executables directly inside each hidden folder of the root, and
// leaves the list of hidden folders in file.txt for the next step.
void clean_hidden_directories(const DriveRoot& root);
// Deletes each root "X.exe" where X is a hidden folder.
void remove_directory_lookalikes(const DriveRoot& root);
// Lists the .exe files still in the root, with a warning.
void report_remaining_executables(const DriveRoot& root);

}  // namespace scan
