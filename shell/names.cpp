#include "shell/names.h"

#include <cstring>

#include "shell/output.h"
#include "text/unicode.h"

namespace shell {

const char* const kExecutableExtensions[5] = {".com", ".bat", ".exe", ".bin", ".cmd"};

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_ascii_name(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Names Windows opens as devices, in every folder: the device names, and the
// serial and parallel ports 1 to 9, also written with superscript digits.
bool is_device_base(const std::string& base) {
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (same_ascii_name(base, device)) return true;
    }
    if (base.size() < 4) return false;
    const std::string port = base.substr(0, 3);
    if (!same_ascii_name(port, "com") && !same_ascii_name(port, "lpt")) return false;
    const std::string digit = base.substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') ||
           digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";  // ¹ ² ³
}

}  // namespace

bool is_device_name(const std::string& name) {
    // Windows looks only at the part before the first dot, without its trailing blanks.
    std::string base = name.substr(0, name.find('.'));
    base.erase(base.find_last_not_of(' ') + 1);
    return is_device_base(base);
}

std::string executable_patterns(char drive, const std::string& folder) {
    std::string patterns;
    for (const char* ext : kExecutableExtensions) {
        patterns += format(" \"%c:\\%s*%s\"", drive, folder.c_str(), ext);
    }
    return patterns;
}

bool has_extension(const std::string& name, const char* ext) {
    size_t length = std::strlen(ext);
    if (name.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (lower(name[name.size() - length + i]) != lower(ext[i])) return false;
    }
    return true;
}

bool has_executable_extension(const std::string& name) {
    for (const char* ext : kExecutableExtensions) {
        if (has_extension(name, ext)) return true;
    }
    return false;
}

bool is_plain_name(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (std::strchr("\\/:*?\"<>|%", c) != nullptr) return false;
    }
    char last = name.back();
    if (last == ' ' || last == '.') return false;
    return text::is_valid_utf8(name) && !is_device_name(name);
}

std::string root_path(char drive, const std::string& name) {
    return format("%c:\\%s", drive, name.c_str());
}

std::string folder_path(char drive, const std::string& folder, const std::string& name) {
    return format("%c:\\%s\\%s", drive, folder.c_str(), name.c_str());
}

}  // namespace shell
