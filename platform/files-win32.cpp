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

FinalPath final_path(const std::string& path, std::string& final) {
    using GetFinalPath = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    // Looked up at run time: Windows XP has no such call.
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetFinalPathNameByHandleW") : nullptr;
    if (found == nullptr) return FinalPath::kUnsupported;
    GetFinalPath get_final_path = reinterpret_cast<GetFinalPath>(reinterpret_cast<void*>(found));

    // No access asked, only a look; FILE_FLAG_BACKUP_SEMANTICS opens folders too.
    // Without FILE_FLAG_OPEN_REPARSE_POINT the open follows links to their target.
    HANDLE handle = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return FinalPath::kFailed;
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = get_final_path(handle, &buffer[0], static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.assign(length + 1, L'\0');
        length = get_final_path(handle, &buffer[0], static_cast<DWORD>(buffer.size()), 0);
    }
    CloseHandle(handle);
    if (length == 0 || length >= buffer.size()) return FinalPath::kFailed;
    final = text::utf16_to_utf8(std::u16string(buffer.begin(), buffer.begin() + length));
    return FinalPath::kFound;
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
