#include <string>
#include <unordered_set>

#include "scan/steps.h"
#include "shell/command.h"
#include "shell/entry.h"
#include "shell/listing.h"
#include "shell/names.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

void remove_directory_lookalikes(const DriveRoot& root) {
    const char drive = root.text[0];
    shell::say(text::kStep4Heading);
    shell::queue_listing(shell::format("dir /b /a-d \"%c:\\*.exe\" > %s", drive, kCompareList), kCompareList);
    // The hidden folders listed by the previous step; none if it left no list.
    const std::vector<std::string> folders = shell::read_all_names(kFileList, true);
    if (!folders.empty()) {
        const std::vector<std::string> listed = shell::read_all_names(kCompareList);
        const std::unordered_set<std::string> executables(listed.begin(), listed.end());
        for (const std::string& folder : folders) {
            // Folders with unusable names were already reported by the previous step.
            if (!shell::is_plain_name(folder)) continue;
            const std::string lookalike = folder + ".exe";
            if (executables.count(lookalike) == 0) continue;
            const std::string path = shell::root_path(drive, lookalike);
            // Only a real hidden folder condemns its namesake. When the folder
            // fails its check, the line names the folder: it is what was left
            // unexamined, and step 5 lists the namesake.
            const std::string folder_path = shell::root_path(drive, folder);
            const shell::Verdict verdict =
                shell::examine_entry(folder_path, shell::Kind::kFolder, shell::Visibility::kHidden);
            if (verdict != shell::Verdict::kAccepted) {
                shell::say_left_for_user(folder_path, verdict);
                continue;
            }
            if (shell::accept_entry(lookalike, path, shell::Kind::kFile, shell::Visibility::kAny)) {
                shell::remove_entry("/f", path);
            }
        }
    }
    shell::delete_work_file(kCompareList);
    shell::delete_work_file(kFileList);
}

}  // namespace scan
