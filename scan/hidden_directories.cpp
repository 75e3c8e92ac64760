#include <string>

#include "scan/steps.h"
#include "shell/command.h"
#include "shell/entry.h"
#include "shell/listing.h"
#include "shell/names.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

namespace {

// dir over the five executable patterns inside one folder.
std::string folder_listing(const char* switches, char drive, const std::string& folder, const char* work_file) {
    return std::string("dir ") + switches + shell::executable_patterns(drive, folder + "\\") + " > " + work_file;
}

void remove_listed(char drive, const std::string& folder, const char* work_file, shell::Visibility visibility,
                   const char* del_switches) {
    shell::for_each_name(work_file, [&](const std::string& name) {
        if (!shell::has_executable_extension(name)) return;
        const std::string path = shell::folder_path(drive, folder, name);
        if (!shell::accept_entry(name, path, shell::Kind::kFile, visibility)) return;
        shell::remove_entry(del_switches, path);
    });
}

void clean_folder(char drive, const std::string& folder) {
    const std::string path = shell::root_path(drive, folder);
    if (!shell::accept_entry(folder, path, shell::Kind::kFolder, shell::Visibility::kHidden)) return;
    shell::say(shell::format(text::kScanning, shell::for_console(path).c_str()));
    // Files only: a subfolder named like an executable is not ours to touch.
    shell::run_command(folder_listing("/b /a-d-h-s", drive, folder, kVisibleList));
    remove_listed(drive, folder, kVisibleList, shell::Visibility::kPlain, "/f");
    shell::run_command(folder_listing("/ah-d /B", drive, folder, kHiddenList));
    remove_listed(drive, folder, kHiddenList, shell::Visibility::kHidden, "/ah /f");
}

}  // namespace

void clean_hidden_directories(const DriveRoot& root) {
    const char drive = root.text[0];
    shell::say(text::kStep3Heading);
    shell::run_command(shell::format("dir \"%c:\\\" /ahd /b > %s", drive, kFileList));
    // file.txt stays: the next step reads the same list of hidden folders.
    for (const std::string& folder : shell::read_all_names(kFileList)) {
        clean_folder(drive, folder);
    }
}

}  // namespace scan
