// Single-file looks for the stand-in: Windows paths resolved on the mapped Linux folders.
#include "platform/files.h"

#include <sys/stat.h>

#include <cstdio>

#include "standin/volume.h"
#include "text/unicode.h"

namespace platform {

bool file_readable(const std::string& path) {
    standin::LookupScope scope;
    std::string linux_path;
    if (!standin::resolve_existing(path, linux_path)) return false;
    // fopen "r" fails on a folder under Windows, while Linux would open it.
    struct stat st;
    if (stat(linux_path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    FILE* file = std::fopen(linux_path.c_str(), "r");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

bool remove_file(const std::string& path) {
    standin::LookupScope scope;
    std::string linux_path;
    if (!standin::resolve_existing(path, linux_path)) return false;
    // Windows refuses to delete a read-only file, or a folder, through remove.
    if (standin::entry_attributes(linux_path) & (standin::kAttrReadOnly | standin::kAttrDirectory)) return false;
    const bool removed = std::remove(linux_path.c_str()) == 0;
    standin::forget_lookups();  // an open scope must not see it again
    return removed;
}

namespace {

// A look at one entry fails for a path this long or longer, as under Wine 8
// (Windows without long paths: 260).
const size_t kLongestLookUnits = 264;

bool too_long_to_look_at(const std::string& path) {
    return text::utf8_to_utf16(path).size() >= kLongestLookUnits;
}

}  // namespace

EntryInfo entry_info(const std::string& path) {
    standin::LookupScope scope;
    EntryInfo info;
    std::string linux_path;
    if (too_long_to_look_at(path) || !standin::resolve_existing(path, linux_path)) return info;
    info.exists = true;
    info.attributes = standin::entry_attributes(linux_path);
    return info;
}

FinalPath final_path(const std::string& path, std::string& final) {
    standin::LookupScope scope;
    std::string linux_path;
    if (too_long_to_look_at(path) || !standin::resolve_existing(path, linux_path)) return FinalPath::kFailed;
    return standin::final_windows_path(linux_path, final) ? FinalPath::kFound : FinalPath::kFailed;
}

bool file_exists(const std::string& path) {
    // Names are taken literally: "*" and "?" are not patterns here.
    std::string linux_path;
    return !too_long_to_look_at(path) && standin::resolve_existing(path, linux_path);
}

}  // namespace platform
