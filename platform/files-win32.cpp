// Direct looks at single entries through the wide-character Win32 API, so
// that every name is used exactly as it is on the drive.
#include "platform/files.h"

#include <cstdio>
#include <windows.h>

#include "text/unicode.h"

namespace platform {

namespace {

std::wstring wide(const std::string& utf8) {
    const std::u16string units = text::utf8_to_utf16(utf8);
    return std::wstring(units.begin(), units.end());
}

}  // namespace

EntryInfo entry_info(const std::string& path) {
    EntryInfo info;
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return info;
    info.exists = true;
    info.attributes = attributes;
    return info;
}

bool file_readable(const std::string& path) {
    FILE* file = _wfopen(wide(path).c_str(), L"r");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

bool remove_file(const std::string& path) {
    return _wremove(wide(path).c_str()) == 0;
}

bool file_exists(const std::string& path) {
    return entry_info(path).exists;
}

}  // namespace platform
