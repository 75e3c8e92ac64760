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

// Where an entry lies, with every link and junction on the way followed:
// inside the drive of its path (below the final path of that drive's root),
// elsewhere, or unknown (it cannot be opened). Where Windows cannot tell
// final paths (XP), on the drive. The root's final path is looked up once per
// drive.
enum class Place { kOnDrive, kElsewhere, kUnknown };
Place where_entry_lies(const std::string& path);

// True when the entry at path lies on its drive.
bool stays_on_drive(const std::string& path);

// Forgets the final paths of drive roots: a drive is about to be scanned.
void forget_drive_roots();

// What the look at an entry found: it may be touched, or why it is left for
// the user to check.
enum class Verdict {
    kAccepted,
    kUnsafeName,      // the name is not a plain one (names.h)
    kLeadsElsewhere,  // a link or junction, or it lies off the drive
    kUnexamined,      // gone, changed since the listing, or out of reach (a path too long)
};

// The entry at path must exist, be no reparse point (a link or junction leads
// elsewhere), be of that kind, have that visibility, and stay on the drive.
Verdict examine_entry(const std::string& path, Kind kind, Visibility visibility);

// True when examine_entry accepts it.
bool entry_is(const std::string& path, Kind kind, Visibility visibility);

// The checks that come before a name off a listing is touched: the name is a
// plain one (names.h), then the entry at path is examined.
Verdict check_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility);

// Says that path was left for the user to check, and why.
void say_left_for_user(const std::string& path, Verdict why);

// check_entry; when it fails, says so (say_left_for_user) and returns false.
bool accept_entry(const std::string& name, const std::string& path, Kind kind, Visibility visibility);

}  // namespace shell
