// The Linux side of Windows drives: the drive table from NODREL_DRIVES, Windows paths
// mapped onto folders, DOS attributes, 8.3 short names, wildcard matching, device
// names and the Big5 forms in which cmd.exe would show a name.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"

namespace standin {

// One drive of the table, e.g. E=removable:/media/stick, or S=subst:C:\some\folder
// for a SUBST drive, an alias of a folder of another drive.
struct Drive {
    char letter;        // 'A'..'Z'
    unsigned type;      // GetDriveTypeA code (fixed for a SUBST drive)
    std::string root;   // Linux folder holding the drive's root; empty for a SUBST drive
    std::string subst;  // the Windows folder a SUBST drive stands for, else empty
};

// The drives configured in NODREL_DRIVES, in letter order; empty when unset or empty.
std::vector<Drive> configured_drives();

// Finds the drive of that letter (either case); false when it is not configured.
bool find_drive(char letter, Drive& drive);

// DOS attribute bits, as GetFileAttributesW reports them.
using platform::kAttrArchive;
using platform::kAttrDirectory;
using platform::kAttrHidden;
using platform::kAttrReadOnly;
using platform::kAttrReparsePoint;
using platform::kAttrSystem;

// Attributes of a Linux file or folder: user.DOSATTRIB, plus directory, plus read-only
// for a file without any write bit (that is how Wine sees read-only). A symbolic link
// shows its target's attributes; one to a folder is also a reparse point, as Wine
// reports it (a link to a file is not).
unsigned read_attributes(const std::string& linux_path);

// Parses the text of user.DOSATTRIB ("0x6", with or without quotes or a trailing NUL).
unsigned parse_dosattrib(const std::string& text);

// A UTF-8 name in Big5 with "?" for each character Big5 lacks.
std::string exact_big5(const std::string& utf8_name);

// A UTF-8 name in Big5 as cmd.exe writes a listing in code page 950 without
// /u: a character Big5 lacks becomes its look-alike where Windows has one
// (accented Latin letters lose their accent, fullwidth forms become ASCII),
// and "?" otherwise.
std::string best_fit_big5(const std::string& utf8_name);

// True when the name is already a valid 8.3 name, letter case aside.
bool is_short_name(const std::string& name);

// The 8.3 alias Windows gives a long name, e.g. "photo.bath" -> "PHOTO~1.BAT";
// characters other than ASCII become "_". Empty when the name is a valid 8.3 name.
std::string short_name(const std::string& name);

// Wildcard match with "*" and "?", ASCII letters compared without regard to case,
// a UTF-8 character counted as one character. "x.*" also matches "x".
bool wildcard_match(const std::string& pattern, const std::string& name);

// True when the text holds "*" or "?".
bool has_wildcards(const std::string& text);

// True when Windows takes the name for a device (CON, NUL, COM1 ... LPT9, also
// with superscript digits), in any folder, with any extension.
bool is_device_name(const std::string& name);

// Case-insensitive (ASCII) equality and ordering, as Windows compares names.
bool same_name(const std::string& a, const std::string& b);
bool name_less(const std::string& a, const std::string& b);

// One entry of a folder, seen as Windows sees it.
struct Entry {
    std::string name;        // Linux name (UTF-8), as Windows lists it
    std::string linux_path;  // full Linux path
    unsigned attributes = 0;

    bool is_directory() const { return (attributes & kAttrDirectory) != 0; }
};

// Lookups made while a scope is open share what they learn of the disk: a folder is listed
// at most once, an entry's attributes and short name are worked out at most once. Scopes
// nest; the outermost one forgets it all when it closes, so nothing outlives the command
// (or the single look) that opened it. Every lookup below opens one of its own.
class LookupScope {
  public:
    LookupScope();
    ~LookupScope();
    LookupScope(const LookupScope&) = delete;
    LookupScope& operator=(const LookupScope&) = delete;
};

// Forgets what the open scope has learned: to be called once a command has changed a folder.
void forget_lookups();

// How often lookups went to the disk since the last reset, for tests that check that a
// lookup reads only what it names.
struct LookupCounts {
    unsigned long folder_reads = 0;     // folders listed with readdir
    unsigned long attribute_reads = 0;  // entries whose attributes were read
    unsigned long short_names = 0;      // short names worked out for listed entries
};
LookupCounts lookup_counts();
void reset_lookup_counts();

// The attributes of an entry, read once per scope (see read_attributes).
unsigned entry_attributes(const std::string& linux_path);

// Entries of a Linux folder without "." and "..", sorted by name without regard to case.
// False when the folder cannot be read.
bool read_folder(const std::string& linux_folder, std::vector<Entry>& entries);

// The entries of a folder whose name or short name matches the pattern (see wildcard_match;
// without wildcards, every entry of that name or short name, either case), sorted by name
// without regard to case. Only those entries' attributes are read. False when the folder
// cannot be read.
bool match_entries(const std::string& linux_folder, const std::string& pattern, std::vector<Entry>& entries);

// The entry of that folder whose name or short name is the given name (either
// case); an exact match wins. False when there is none, when the name is a device, or
// when the folder cannot be read. The exact name is looked up directly; only a name that
// it misses makes the folder be listed.
bool find_entry(const std::string& linux_folder, const std::string& name, Entry& entry);

// A Windows path split for lookup.
struct WinPath {
    bool has_drive = false;
    char drive = 0;
    std::vector<std::string> parts;  // components, without empty ones
    bool trailing_separator = false; // "E:\" or "E:\dir\"
};

// Splits "E:\dir\name", "dir/name" or "name"; both "\" and "/" separate components.
WinPath split_path(const std::string& path);

// Linux folder where a path's lookup starts: the drive's folder, or "." (the current
// directory) for a path without a drive. False for a drive that is not configured.
bool start_folder(const WinPath& path, std::string& linux_folder);

// Follows the first `count` components of the path from its start folder, each to an
// existing folder. False when the drive is unknown or a component is missing.
bool walk_folders(const WinPath& path, size_t count, std::string& linux_folder);

// Linux path of an existing entry named by a Windows path (no wildcards). False when missing.
bool resolve_existing(const std::string& win_path, std::string& linux_path);

// Where a Linux path really lies, as GetFinalPathNameByHandleW writes it: every link
// followed, then "\\?\E:\dir\name" on the drive that holds it (never a SUBST
// drive), or "\\?\unix/real/path" outside every drive. False when it does not exist.
bool final_windows_path(const std::string& linux_path, std::string& final);

}  // namespace standin
