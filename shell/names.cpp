#include "shell/names.h"

#include <cstring>

#include "shell/output.h"
#include "text/messages.h"

namespace shell {

const char* const kExecutableExtensions[5] = {".com", ".bat", ".exe", ".bin", ".cmd"};

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

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
    return last != ' ' && last != '.';
}

bool accept_name(const std::string& name, const std::string& shown_path) {
    if (is_plain_name(name)) return true;
    say(format(text::kNameLeftForUser, shown_path.c_str()));
    return false;
}

std::string root_path(char drive, const std::string& name) {
    return format("%c:\\%s", drive, name.c_str());
}

std::string folder_path(char drive, const std::string& folder, const std::string& name) {
    return format("%c:\\%s\\%s", drive, folder.c_str(), name.c_str());
}

}  // namespace shell
