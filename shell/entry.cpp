#include "shell/entry.h"

#include "platform/files.h"
#include "shell/names.h"
#include "shell/output.h"
#include "text/messages.h"

namespace shell {

namespace {

// True when an ASCII-case-insensitive prefix of text is prefix.
bool starts_with_folded(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

}  // namespace

bool stays_on_drive(const std::string& path) {
    std::string root_final, entry_final;
    const platform::FinalPath root = platform::final_path(path.substr(0, 3), root_final);
    // Without the call (XP), the reparse-point check is all there is.
    if (root == platform::FinalPath::kUnsupported) return true;
    if (root != platform::FinalPath::kFound || platform::final_path(path, entry_final) != platform::FinalPath::kFound) {
        return false;
    }
    if (root_final.empty() || root_final.back() != '\\') root_final += '\\';
    return entry_final.size() > root_final.size() && starts_with_folded(entry_final, root_final);
}

bool entry_is(const std::string& path, Kind kind, Visibility visibility) {
    const platform::EntryInfo info = platform::entry_info(path);
    if (!info.exists) return false;
    const unsigned attributes = info.attributes;
    if (attributes & platform::kAttrReparsePoint) return false;
    const bool folder = (attributes & platform::kAttrDirectory) != 0;
    if (folder != (kind == Kind::kFolder)) return false;
    switch (visibility) {
        case Visibility::kHidden:
            if ((attributes & platform::kAttrHidden) == 0) return false;
            break;
        case Visibility::kPlain:
            if ((attributes & (platform::kAttrHidden | platform::kAttrSystem)) != 0) return false;
            break;
        case Visibility::kAny:
            break;
    }
    return stays_on_drive(path);
}

bool accept_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility) {
    // The name check comes first: nothing is looked up under a name that is not plain.
    if (is_plain_name(name) && entry_is(path, kind, visibility)) return true;
    say(format(text::kNameLeftForUser, for_console(path).c_str()));
    return false;
}

}  // namespace shell
