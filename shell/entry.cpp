#include "shell/entry.h"

#include "platform/files.h"
#include "shell/names.h"
#include "shell/output.h"
#include "text/messages.h"

namespace shell {

bool entry_is(const std::string& path, Kind kind, Visibility visibility) {
    const platform::EntryInfo info = platform::entry_info(path);
    if (!info.exists) return false;
    const unsigned attributes = info.attributes;
    if (attributes & platform::kAttrReparsePoint) return false;
    const bool folder = (attributes & platform::kAttrDirectory) != 0;
    if (folder != (kind == Kind::kFolder)) return false;
    switch (visibility) {
        case Visibility::kHidden:
            return (attributes & platform::kAttrHidden) != 0;
        case Visibility::kPlain:
            return (attributes & (platform::kAttrHidden | platform::kAttrSystem)) == 0;
        case Visibility::kAny:
            return true;
    }
    return false;
}

bool accept_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility) {
    // The name check comes first: nothing is looked up under a name that is not plain.
    if (is_plain_name(name) && entry_is(path, kind, visibility)) return true;
    say(format(text::kNameLeftForUser, for_console(path).c_str()));
    return false;
}

}  // namespace shell
