// Direct looks at single entries, given a Windows path in UTF-8 such as
// "E:\autorun.inf". Nothing here lists a folder or deletes a drive's file:
// that goes through the command interpreter.
#pragma once

#include <string>

namespace platform {

// Attribute bits as GetFileAttributesW reports them.
enum : unsigned {
    kAttrReadOnly = 0x1,
    kAttrHidden = 0x2,
    kAttrSystem = 0x4,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrReparsePoint = 0x400,
};

// What GetFileAttributesW says of the entry itself; a link is not followed.
struct EntryInfo {
    bool exists = false;
    unsigned attributes = 0;
};
EntryInfo entry_info(const std::string& path);

// Where an entry really lies, with every link and junction on the way
// followed: GetFinalPathNameByHandleW, e.g. "\\?\E:\Photos\a.exe".
enum class FinalPath {
    kFound,        // the path is in `final`
    kUnsupported,  // this Windows has no such call (XP)
    kFailed,       // the entry could not be opened, or the call failed
};
FinalPath final_path(const std::string& path, std::string& final);

// True when the file opens for reading (mode "r").
bool file_readable(const std::string& path);

// True when an entry of that exact name is present.
bool file_exists(const std::string& path);

// Deletes a work file as the C runtime's remove does on Windows, where a
// read-only file stays. Returns true when it was deleted.
bool remove_file(const std::string& path);

}  // namespace platform
