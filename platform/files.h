// Direct looks at single files, given a Windows path such as "E:\autorun.inf".
#pragma once

#include <string>

namespace platform {

// True when the file opens for reading (fopen mode "r").
bool file_readable(const std::string& path);

// True when an entry of that exact name is present.
bool file_exists(const std::string& path);

// Deletes a file as the C runtime's remove does on Windows, where a read-only
// file stays. Returns true when it was deleted.
bool remove_file(const std::string& path);

}  // namespace platform
