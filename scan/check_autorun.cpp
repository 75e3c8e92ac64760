#include "platform/files.h"
#include "scan/steps.h"
#include "shell/command.h"
#include "shell/entry.h"
#include "shell/listing.h"
#include "shell/names.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

void check_autorun(const DriveRoot& root) {
    const char drive = root.text[0];
    shell::say(text::kStep1Heading);
    shell::queue_listing(shell::format("dir /ah-d /b \"%c:\\%s\"  > %s", drive, "autorun.inf", kFileList), kFileList);
    const shell::Listing listing = shell::open_listing(kFileList);
    if (!listing.opened) return;
    const std::string path = shell::root_path(drive, "autorun.inf");
    if (listing.not_empty && shell::accept_entry("autorun.inf", path, shell::Kind::kFile, shell::Visibility::kHidden)) {
        // One that cannot be read is taken for a guard file planted by an anti-virus tool.
        if (platform::file_readable(path)) {
            shell::remove_entry("/ah /f", path);
        } else {
            shell::say(text::kUnreadableAutorun);
        }
    }
    shell::delete_work_file(kFileList);
}

}  // namespace scan
