#include <string>

#include "scan/steps.h"
#include "shell/command.h"
#include "shell/entry.h"
#include "shell/listing.h"
#include "shell/names.h"
#include "shell/output.h"
#include "text/messages.h"

namespace scan {

void remove_hidden_root_executables(const DriveRoot& root) {
    const char drive = root.text[0];
    shell::say(text::kStep2Heading);
    shell::queue_listing("dir /ah-d /b " + shell::executable_patterns(drive, "") + " > " + kFileList, kFileList);
    shell::for_each_name(kFileList, [drive](const std::string& name) {
        // Wildcards also match 8.3 short names: keep only real executables.
        if (!shell::has_executable_extension(name)) return;
        if (name == "NTDETECT.COM") return;
        const std::string path = shell::root_path(drive, name);
        if (!shell::accept_entry(name, path, shell::Kind::kFile, shell::Visibility::kHidden)) return;
        shell::remove_entry("/ah /f", path);
    });
}

}  // namespace scan
