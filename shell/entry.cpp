#include "shell/entry.h"

#include <map>

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

namespace {

// A drive root's final path, as last looked up.
struct RootFinal {
    platform::FinalPath found;
    std::string path;
};

std::map<std::string, RootFinal>& root_finals() {
    static std::map<std::string, RootFinal> roots;
    return roots;
}

const RootFinal& root_final_of(const std::string& root) {
    auto known = root_finals().find(root);
    if (known != root_finals().end()) return known->second;
    RootFinal found;
    found.found = platform::final_path(root, found.path);
    return root_finals().emplace(root, found).first->second;
}

}  // namespace

void forget_drive_roots() { root_finals().clear(); }

bool stays_on_drive(const std::string& path) {
    const RootFinal& root_entry = root_final_of(path.substr(0, 3));
    std::string root_final = root_entry.path, entry_final;
    const platform::FinalPath root = root_entry.found;
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

bool check_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility) {
    // The name check comes first: nothing is looked up under a name that is not plain.
    return is_plain_name(name) && entry_is(path, kind, visibility);
}

void say_left_for_user(const std::string& path) { say(format(text::kNameLeftForUser, for_console(path).c_str())); }

bool accept_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility) {
    if (check_entry(name, path, kind, visibility)) return true;
    say_left_for_user(path);
    return false;
}

}  // namespace shell
