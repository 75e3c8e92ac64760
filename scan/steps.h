// The scan of one drive and its five steps.
#pragma once

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
