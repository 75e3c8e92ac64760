// The look at an entry itself before the program touches it. A listing's line
// is only what the interpreter wrote; the entry at the exact path must be what
// the listing selected, or it is left alone.
#pragma once

#include <string>

namespace shell {

enum class Kind { kFile, kFolder };

// The attributes a listing selected: hidden (the /ah listings), neither hidden
// nor system (the plain /b listing of a folder), or either.
enum class Visibility { kHidden, kPlain, kAny };

// True when the entry at path ("E:\..."), with every link on the way followed,
// lies inside the drive of path: its final path is below the final path of
// that drive's root. Where Windows cannot tell final paths (XP), true. The
// root's final path is looked up once per drive.
bool stays_on_drive(const std::string& path);

// Forgets the final paths of drive roots: a drive is about to be scanned.
void forget_drive_roots();

// True when path names an entry that exists, is no reparse point (a link or
// junction leads elsewhere), is of that kind, has that visibility, and stays
// on the drive.
bool entry_is(const std::string& path, Kind kind, Visibility visibility);

// The checks that come before a name off a listing is touched: the name is a
// plain one (names.h), then the entry at path is as entry_is says.
bool check_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility);

// Says that path was left for the user to check.
void say_left_for_user(const std::string& path);

// check_entry; when it fails, says so (say_left_for_user) and returns false.
bool accept_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility);

}  // namespace shell
