#include <string>

#include "scan/steps.h"
#include "shell/command.h"
#include "shell/listing.h"
#include "shell/names.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

void report_remaining_executables(const DriveRoot& root) {
    const char drive = root.text[0];
    shell::say(text::kStep5Heading);
    shell::queue_listing(shell::format("dir /b /a-d \"%c:\\*.exe\" > %s", drive, kFileList), kFileList);
    bool found = false;
    shell::for_each_name(kFileList, [&](const std::string& name) {
        if (!shell::has_extension(name, ".exe")) return;
        shell::say(shell::format(text::kFound, shell::for_console(shell::root_path(drive, name)).c_str()));
        found = true;
    });
    if (found) {
        shell::say(text::kWarning1);
        shell::say(text::kWarning2);
        shell::say(text::kWarning3);
    }
}

}  // namespace scan
