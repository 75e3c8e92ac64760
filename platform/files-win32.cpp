// Direct looks at single files through the C runtime and the Win32 API.
#include "platform/files.h"

#include <cstdio>
#include <windows.h>

namespace platform {

bool file_readable(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

bool remove_file(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace platform
