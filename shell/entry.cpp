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

Place where_entry_lies(const std::string& path) {
    const RootFinal& root = root_final_of(path.substr(0, 3));
    // Without the call (XP), the reparse-point check is all there is.
    if (root.found == platform::FinalPath::kUnsupported) return Place::kOnDrive;
    std::string entry_final;
    if (root.found != platform::FinalPath::kFound ||
        platform::final_path(path, entry_final) != platform::FinalPath::kFound) {
        return Place::kUnknown;
    }
    std::string root_final = root.path;
    if (root_final.empty() || root_final.back() != '\\') root_final += '\\';
    const bool inside = entry_final.size() > root_final.size() && starts_with_folded(entry_final, root_final);
    return inside ? Place::kOnDrive : Place::kElsewhere;
}

bool stays_on_drive(const std::string& path) { return where_entry_lies(path) == Place::kOnDrive; }

Verdict examine_entry(const std::string& path, Kind kind, Visibility visibility) {
    const platform::EntryInfo info = platform::entry_info(path);
    if (!info.exists) return Verdict::kUnexamined;
    const unsigned attributes = info.attributes;
    if (attributes & platform::kAttrReparsePoint) return Verdict::kLeadsElsewhere;
    // Not what the listing selected: it changed since.
    const bool folder = (attributes & platform::kAttrDirectory) != 0;
    if (folder != (kind == Kind::kFolder)) return Verdict::kUnexamined;
    switch (visibility) {
        case Visibility::kHidden:
            if ((attributes & platform::kAttrHidden) == 0) return Verdict::kUnexamined;
            break;
        case Visibility::kPlain:
            if ((attributes & (platform::kAttrHidden | platform::kAttrSystem)) != 0) return Verdict::kUnexamined;
            break;
        case Visibility::kAny:
            break;
    }
    switch (where_entry_lies(path)) {
        case Place::kOnDrive: return Verdict::kAccepted;
        case Place::kElsewhere: return Verdict::kLeadsElsewhere;
        case Place::kUnknown: break;
    }
    return Verdict::kUnexamined;
}

bool entry_is(const std::string& path, Kind kind, Visibility visibility) {
    return examine_entry(path, kind, visibility) == Verdict::kAccepted;
}

Verdict check_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility) {
    // The name check comes first: nothing is looked up under a name that is not plain.
    if (!is_plain_name(name)) return Verdict::kUnsafeName;
    return examine_entry(path, kind, visibility);
}

void say_left_for_user(const std::string& path, Verdict why) {
    const char* line = text::kUnexaminedLeftForUser;
    if (why == Verdict::kUnsafeName) line = text::kNameLeftForUser;
    if (why == Verdict::kLeadsElsewhere) line = text::kLinkLeftForUser;
    say(format(line, for_console(path).c_str()));
}

bool accept_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility) {
    const Verdict verdict = check_entry(name, path, kind, visibility);
    if (verdict == Verdict::kAccepted) return true;
    say_left_for_user(path, verdict);
    return false;
}

}  // namespace shell
