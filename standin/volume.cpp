// Windows drives, paths and names on top of Linux folders.
#include "standin/volume.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_map>

#include "text/unicode.h"

namespace standin {

namespace {

LookupCounts g_counts;

struct TypeName {
    const char* name;
    unsigned code;
};

// Drive type words of NODREL_DRIVES and the GetDriveTypeA codes they stand for.
const TypeName kTypeNames[] = {
    {"unknown", 0}, {"noroot", 1}, {"removable", 2}, {"fixed", 3},
    {"remote", 4},  {"cdrom", 5},  {"ramdisk", 6},
};

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lower_text(std::string text) {
    for (char& c : text) c = lower(c);
    return text;
}

bool parse_type(const std::string& word, unsigned& code) {
    for (const TypeName& t : kTypeNames) {
        if (same_name(word, t.name)) {
            code = t.code;
            return true;
        }
    }
    return false;
}

// Length of the UTF-8 character at text[i]; a byte that starts no sequence is one of its own.
size_t char_length(const std::string& text, size_t i) {
    if (static_cast<unsigned char>(text[i]) < 0x80) return 1;
    size_t length;
    text::decode_utf8(text, i, length);
    return length;
}

// Splits UTF-8 text into characters; a byte that starts no sequence is one of its own.
std::vector<std::string> utf8_chars(const std::string& text) {
    std::vector<std::string> chars;
    for (size_t i = 0; i < text.size();) {
        size_t len;
        text::decode_utf8(text, i, len);
        chars.push_back(text.substr(i, len));
        i += len;
    }
    return chars;
}

// Look-alikes of the Latin letters U+00C0 to U+017F, as Windows' best fit writes
// them in a code page that lacks them; "?" where it has none.
const char kLatinLookalikes[] =
    "AAAAAAACEEEEIIIIDNOOOOO?OUUUUY??aaaaaaaceeeeiiiidnooooo?ouuuuy?y"
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi??JjKkkLlLlLlLlLlNnNnNnn??OoOoOo??RrRrRr"
    "SsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

// The best-fit form of one character that Big5 lacks, or 0 when there is none.
char lookalike(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char>(c - 0xFF01 + 0x21);  // fullwidth forms
    if (c >= 0xC0 && c <= 0x17F) {
        char ascii = kLatinLookalikes[c - 0xC0];
        return ascii == '?' ? 0 : ascii;
    }
    return 0;
}

// Converts one piece of text with iconv; false when any of it does not convert.
bool convert(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string input = in;
    char buffer[64];
    char* src = &input[0];
    size_t src_left = input.size();
    out.clear();
    bool ok = true;
    while (src_left > 0) {
        char* dst = buffer;
        size_t dst_left = sizeof buffer;
        size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

// A character allowed in an 8.3 name: ASCII other than blanks, dots, control
// characters and "*+,/:;<=>?[\]|. The character starts at text[i] and is `length` bytes long.
bool short_name_char(const std::string& text, size_t i, size_t length) {
    if (length > 1) return false;
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c == '.' || c == 0x7F) return false;
    return std::strchr("\"*+,/:;<=>?[\\]|", c) == nullptr;
}

// Upper-cased valid characters of a name part, at most `limit` of them; a character
// other than ASCII becomes "_", as it has no place in the OEM code page.
std::string short_part(const std::string& part, size_t limit) {
    std::string out;
    for (size_t i = 0, length; i < part.size(); i += length) {
        length = char_length(part, i);
        if (length == 1 && !short_name_char(part, i, 1)) continue;
        if (out.size() == limit) break;
        out += length == 1 ? upper(part[i]) : '_';
    }
    return out;
}

// True when the characters of length `length` at p[pi] and n[ni] are the same, ASCII letter case aside.
bool same_char(const std::string& p, size_t pi, size_t p_length, const std::string& n, size_t ni) {
    if (ni + p_length > n.size() || char_length(n, ni) != p_length) return false;
    for (size_t k = 0; k < p_length; ++k) {
        if (lower(p[pi + k]) != lower(n[ni + k])) return false;
    }
    return true;
}

// Matches the first p_end bytes of the pattern against the whole name, character by character.
bool match_chars(const std::string& p, size_t p_end, const std::string& n) {
    // Iterative glob: remember the last "*" and retry from one character further on failure.
    size_t pi = 0, ni = 0, star = std::string::npos, resume = 0;
    while (ni < n.size()) {
        const size_t p_length = pi < p_end ? char_length(p, pi) : 0;
        if (pi < p_end && p[pi] == '*') {
            star = pi++;
            resume = ni;
        } else if (pi < p_end && (p[pi] == '?' || same_char(p, pi, p_length, n, ni))) {
            pi += p_length;
            ni += char_length(n, ni);
        } else if (star != std::string::npos) {
            pi = star + 1;
            resume += char_length(n, resume);
            ni = resume;
        } else {
            return false;
        }
    }
    while (pi < p_end && p[pi] == '*') ++pi;
    return pi == p_end;
}

}  // namespace

namespace {

std::vector<Drive> parse_drive_table(const std::string& table) {
    std::vector<Drive> drives;
    size_t start = 0;
    while (start <= table.size()) {
        size_t end = table.find(';', start);
        if (end == std::string::npos) end = table.size();
        std::string item = table.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;
        // "E=removable:/media/stick": letter, "=", type word, ":", Linux folder;
        // "S=subst:C:\folder": a SUBST drive of a Windows folder.
        size_t colon = item.find(':');
        unsigned type = 0;
        const bool subst = colon != std::string::npos && same_name(item.substr(2, colon - 2), "subst");
        if (item.size() < 4 || !std::isalpha(static_cast<unsigned char>(item[0])) || item[1] != '=' ||
            colon == std::string::npos || colon + 1 >= item.size() ||
            (!subst && !parse_type(item.substr(2, colon - 2), type))) {
            std::fprintf(stderr, "nodrel stand-in: NODREL_DRIVES entry '%s' ignored\n", item.c_str());
            continue;
        }
        Drive drive{upper(item[0]), type, item.substr(colon + 1), ""};
        if (subst) {
            drive.type = 3;  // fixed, like the drives it is made on
            drive.subst = drive.root;
            drive.root.clear();
        }
        // A letter given twice keeps its last entry.
        drives.erase(std::remove_if(drives.begin(), drives.end(),
                                    [&](const Drive& d) { return d.letter == drive.letter; }),
                     drives.end());
        drives.push_back(drive);
    }
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return drives;
}

// The drive table, parsed again only when NODREL_DRIVES holds other text than last time
// (so an entry it ignores is reported once per text, not on every lookup).
const std::vector<Drive>& drive_table() {
    static std::string parsed_text;
    static bool parsed = false;
    static std::vector<Drive> drives;
    const char* value = std::getenv("NODREL_DRIVES");
    const std::string text = value == nullptr ? "" : value;
    if (!parsed || text != parsed_text) {
        drives = parse_drive_table(text);
        parsed_text = text;
        parsed = true;
    }
    return drives;
}

}  // namespace

std::vector<Drive> configured_drives() { return drive_table(); }

bool find_drive(char letter, Drive& drive) {
    for (const Drive& d : drive_table()) {
        if (d.letter == upper(letter)) {
            drive = d;
            return true;
        }
    }
    return false;
}

unsigned parse_dosattrib(const std::string& text) {
    size_t begin = text.find_first_not_of("\" \t");
    if (begin == std::string::npos) return 0;
    return static_cast<unsigned>(std::strtoul(text.c_str() + begin, nullptr, 16));
}

unsigned read_attributes(const std::string& linux_path) {
    ++g_counts.attribute_reads;
    // The entry itself, then its target when it is a link; a broken link has no attributes.
    struct stat st;
    if (lstat(linux_path.c_str(), &st) != 0) return 0;
    const bool is_link = S_ISLNK(st.st_mode);
    if (is_link && stat(linux_path.c_str(), &st) != 0) return 0;
    unsigned attributes = 0;
    char buffer[256];
    ssize_t len = getxattr(linux_path.c_str(), "user.DOSATTRIB", buffer, sizeof buffer - 1);
    if (len < 0 && errno == EACCES && st.st_uid == geteuid()) {
        // Windows shows the attributes of a file nobody may read, but Linux hides the user
        // attributes of such a file: its owner lends itself read access just for the look.
        if (chmod(linux_path.c_str(), (st.st_mode & 07777) | S_IRUSR) == 0) {
            len = getxattr(linux_path.c_str(), "user.DOSATTRIB", buffer, sizeof buffer - 1);
            chmod(linux_path.c_str(), st.st_mode & 07777);
        }
    }
    if (len > 0) attributes = parse_dosattrib(std::string(buffer, static_cast<size_t>(len)));
    // Only the bits cmd.exe filters on; a directory is whatever Linux says it is.
    attributes &= kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;
    if (S_ISDIR(st.st_mode)) {
        attributes |= kAttrDirectory;
        if (is_link) attributes |= kAttrReparsePoint;
    } else if ((st.st_mode & 0222) == 0) {
        attributes |= kAttrReadOnly;
    }
    return attributes;
}

std::string exact_big5(const std::string& utf8_name) {
    std::string out;
    for (const std::string& ch : utf8_chars(utf8_name)) {
        std::string big5;
        if (ch.size() == 1 && static_cast<unsigned char>(ch[0]) < 0x80) {
            out += ch;
        } else if (text::is_valid_utf8(ch) && convert("CP950", "UTF-8", ch, big5)) {
            out += big5;
        } else {
            out += '?';
        }
    }
    return out;
}

std::string best_fit_big5(const std::string& utf8_name) {
    std::string out;
    for (const std::string& ch : utf8_chars(utf8_name)) {
        size_t length;
        const char32_t c = text::decode_utf8(ch, 0, length);
        const char near = lookalike(c);
        // Fullwidth letters too: cmd.exe writes "Ｄocs" as "Docs".
        if (near != 0 && (c >= 0xFF01 || exact_big5(ch) == "?")) {
            out += near;
        } else {
            out += exact_big5(ch);
        }
    }
    return out;
}

bool is_short_name(const std::string& name) {
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string::npos && ext.empty()) return false;
    const std::string joined = base + ext;
    for (size_t i = 0, length; i < joined.size(); i += length) {
        length = char_length(joined, i);
        if (!short_name_char(joined, i, length)) return false;
    }
    return true;
}

std::string short_name(const std::string& name) {
    if (is_short_name(name)) return "";
    // The extension follows the last dot; a name whose only dot leads has none.
    size_t dot = name.rfind('.');
    if (dot == 0) dot = std::string::npos;
    std::string base = short_part(name.substr(0, dot), 6);
    std::string ext = dot == std::string::npos ? "" : short_part(name.substr(dot + 1), 3);
    return base + "~1" + (ext.empty() ? "" : "." + ext);
}

bool has_wildcards(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

bool wildcard_match(const std::string& pattern, const std::string& name) {
    if (match_chars(pattern, pattern.size(), name)) return true;
    // As on Windows, "x.*" also matches "x" itself, so "*.*" matches every name.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0) {
        return match_chars(pattern, pattern.size() - 2, name);
    }
    return false;
}

bool is_device_name(const std::string& name) {
    std::string base = lower_text(name.substr(0, name.find('.')));
    base.erase(base.find_last_not_of(' ') + 1);
    if (base == "con" || base == "prn" || base == "aux" || base == "nul") return true;
    if (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0) return false;
    const std::string digit = base.substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\u00b9" || digit == "\u00b2" ||
           digit == "\u00b3";
}

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool name_less(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(lower(x)) < static_cast<unsigned char>(lower(y));
    });
}

namespace {

// What a folder tells about its names: whether it can be listed at all (opendir would
// succeed), and whether lstat finds exactly the names it lists, byte for byte. That holds
// on the usual Linux file systems, but not where letter case folds (FAT, exFAT, NTFS, a
// casefold folder): there "SETUP.EXE" would find "Setup.exe", so only a listing tells.
struct FolderFacts {
    bool listable = false;
    bool exact_names = false;
};

// One folder's names as readdir gives them, and their short names as far as worked out.
struct Listing {
    bool readable = false;
    std::vector<std::string> names;
    std::vector<std::string> aliases;
    std::vector<bool> alias_known;
};

// What the open scope has learned of the disk, by Linux path.
struct Lookups {
    std::map<std::string, FolderFacts> folders;
    std::map<std::string, Listing> listings;
    std::unordered_map<std::string, bool> present;        // lstat found the entry
    std::unordered_map<std::string, unsigned> attributes;
};

Lookups g_lookups;
int g_scope_depth = 0;

bool compares_names_exactly(int fd) {
    struct statfs fs;
    if (fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC: case TMPFS_MAGIC: case RAMFS_MAGIC: case BTRFS_SUPER_MAGIC:
        case XFS_SUPER_MAGIC: case F2FS_SUPER_MAGIC: case OVERLAYFS_SUPER_MAGIC:
            break;
        default:
            return false;
    }
    // File systems without the casefold flag refuse the call: their names never fold.
    int flags = 0;
    return ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 || (flags & FS_CASEFOLD_FL) == 0;
}

const FolderFacts& folder_facts(const std::string& folder) {
    auto found = g_lookups.folders.find(folder);
    if (found != g_lookups.folders.end()) return found->second;
    FolderFacts facts;
    // Opened the way opendir opens a folder, so that listable means exactly what it would.
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        facts.listable = true;
        facts.exact_names = compares_names_exactly(fd);
        close(fd);
    }
    return g_lookups.folders[folder] = facts;
}

Listing& listing_of(const std::string& folder) {
    auto found = g_lookups.listings.find(folder);
    if (found != g_lookups.listings.end()) return found->second;
    Listing& listing = g_lookups.listings[folder];
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return listing;
    ++g_counts.folder_reads;
    listing.readable = true;
    while (struct dirent* d = readdir(dir)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        listing.names.emplace_back(d->d_name);
    }
    closedir(dir);
    listing.aliases.resize(listing.names.size());
    listing.alias_known.resize(listing.names.size());
    return listing;
}

const std::string& alias_of(Listing& listing, size_t i) {
    if (!listing.alias_known[i]) {
        ++g_counts.short_names;
        listing.aliases[i] = short_name(listing.names[i]);
        listing.alias_known[i] = true;
    }
    return listing.aliases[i];
}

// True when an entry of exactly that name is in the folder, by lstat.
bool present_exactly(const std::string& linux_path) {
    auto found = g_lookups.present.find(linux_path);
    if (found != g_lookups.present.end()) return found->second;
    struct stat st;
    return g_lookups.present[linux_path] = lstat(linux_path.c_str(), &st) == 0;
}

// A name lstat can look up as itself: one component, never "." or "..", which no listing holds.
bool direct_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

Entry entry_named(const std::string& folder, const std::string& name) {
    Entry entry;
    entry.name = name;
    entry.linux_path = folder + "/" + name;
    entry.attributes = entry_attributes(entry.linux_path);
    return entry;
}

// The order of a listing: by name without regard to case, then byte for byte.
bool listed_before(const std::string& a, const std::string& b) {
    if (name_less(a, b)) return true;
    if (name_less(b, a)) return false;
    return a < b;
}

// wildcard_match, which for a pattern without wildcards is same_name, only slower.
bool pattern_matches(const std::string& pattern, bool wild, const std::string& name) {
    return wild ? wildcard_match(pattern, name) : same_name(pattern, name);
}

bool alias_matches(Listing& listing, size_t i, const std::string& pattern, bool wild) {
    const std::string& alias = alias_of(listing, i);
    return !alias.empty() && pattern_matches(pattern, wild, alias);
}

// find_entry by a listing: the exact name, else the first in listing order whose name or
// short name is the name, either case.
bool scan_for_entry(const std::string& folder, const std::string& name, Entry& entry) {
    Listing& listing = listing_of(folder);
    if (!listing.readable) return false;
    const std::vector<std::string>& names = listing.names;
    for (const std::string& listed : names) {
        if (listed == name) {
            entry = entry_named(folder, listed);
            return true;
        }
    }
    // Every short name holds "~"; no other name can equal one.
    const bool maybe_alias = name.find('~') != std::string::npos;
    size_t best = names.size();
    for (size_t i = 0; i < names.size(); ++i) {
        const bool matches = same_name(names[i], name) || (maybe_alias && same_name(alias_of(listing, i), name));
        if (matches && (best == names.size() || listed_before(names[i], names[best]))) best = i;
    }
    if (best == names.size()) return false;
    entry = entry_named(folder, names[best]);
    return true;
}

}  // namespace

LookupScope::LookupScope() { ++g_scope_depth; }

LookupScope::~LookupScope() {
    if (--g_scope_depth == 0) forget_lookups();
}

void forget_lookups() { g_lookups = Lookups(); }

LookupCounts lookup_counts() { return g_counts; }

void reset_lookup_counts() { g_counts = LookupCounts(); }

unsigned entry_attributes(const std::string& linux_path) {
    LookupScope scope;
    auto found = g_lookups.attributes.find(linux_path);
    if (found != g_lookups.attributes.end()) return found->second;
    return g_lookups.attributes[linux_path] = read_attributes(linux_path);
}

bool match_entries(const std::string& linux_folder, const std::string& pattern, std::vector<Entry>& entries) {
    LookupScope scope;
    entries.clear();
    Listing& listing = listing_of(linux_folder);
    if (!listing.readable) return false;
    // Without wildcards a pattern is a name; it can be a short name only if it holds "~".
    const bool wild = has_wildcards(pattern);
    const bool alias_may_match = wild || pattern.find('~') != std::string::npos;
    // Sorted on the lower-case form, which orders as name_less does, then byte for byte.
    std::vector<std::pair<std::string, const std::string*>> matched;
    for (size_t i = 0; i < listing.names.size(); ++i) {
        const std::string& name = listing.names[i];
        if (pattern_matches(pattern, wild, name) || (alias_may_match && alias_matches(listing, i, pattern, wild))) {
            matched.emplace_back(lower_text(name), &name);
        }
    }
    std::sort(matched.begin(), matched.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : *a.second < *b.second;
    });
    for (const auto& m : matched) entries.push_back(entry_named(linux_folder, *m.second));
    return true;
}

bool read_folder(const std::string& linux_folder, std::vector<Entry>& entries) {
    return match_entries(linux_folder, "*", entries);
}

bool find_entry(const std::string& linux_folder, const std::string& name, Entry& entry) {
    LookupScope scope;
    if (is_device_name(name)) return false;
    const FolderFacts& facts = folder_facts(linux_folder);
    if (!facts.listable) return false;
    if (facts.exact_names && direct_name(name) && present_exactly(linux_folder + "/" + name)) {
        entry = entry_named(linux_folder, name);
        return true;
    }
    return scan_for_entry(linux_folder, name, entry);
}

WinPath split_path(const std::string& path) {
    WinPath result;
    size_t i = 0;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        result.has_drive = true;
        result.drive = upper(path[0]);
        i = 2;
    }
    std::string part;
    for (; i < path.size(); ++i) {
        if (path[i] == '\\' || path[i] == '/') {
            if (!part.empty()) result.parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    if (!part.empty()) result.parts.push_back(part);
    result.trailing_separator = !path.empty() && (path.back() == '\\' || path.back() == '/');
    return result;
}

bool start_folder(const WinPath& path, std::string& linux_folder) {
    if (!path.has_drive) {
        linux_folder = ".";
        return true;
    }
    Drive drive;
    if (!find_drive(path.drive, drive)) return false;
    if (drive.subst.empty()) {
        linux_folder = drive.root;
        return true;
    }
    // A SUBST drive opens its folder on the drive below; never a SUBST drive again.
    WinPath target = split_path(drive.subst);
    Drive below;
    if (!target.has_drive || !find_drive(target.drive, below) || !below.subst.empty()) return false;
    return walk_folders(target, target.parts.size(), linux_folder);
}

bool walk_folders(const WinPath& path, size_t count, std::string& linux_folder) {
    LookupScope scope;
    if (!start_folder(path, linux_folder)) return false;
    struct stat st;
    if (stat(linux_folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    for (size_t i = 0; i < count && i < path.parts.size(); ++i) {
        const std::string& part = path.parts[i];
        if (part == ".") continue;
        if (part == "..") {
            linux_folder += "/..";
            continue;
        }
        Entry entry;
        if (!find_entry(linux_folder, part, entry) || !entry.is_directory()) return false;
        linux_folder = entry.linux_path;
    }
    return true;
}

bool resolve_existing(const std::string& win_path, std::string& linux_path) {
    LookupScope scope;
    WinPath path = split_path(win_path);
    if (path.parts.empty()) return path.has_drive && walk_folders(path, 0, linux_path);
    std::string folder;
    if (!walk_folders(path, path.parts.size() - 1, folder)) return false;
    const std::string& last = path.parts.back();
    if (last == "." || last == "..") {
        linux_path = folder + "/" + last;
        return true;
    }
    Entry entry;
    if (!find_entry(folder, last, entry)) return false;
    linux_path = entry.linux_path;
    return true;
}

bool final_windows_path(const std::string& linux_path, std::string& final) {
    char* real = realpath(linux_path.c_str(), nullptr);
    if (real == nullptr) return false;
    const std::string resolved = real;
    std::free(real);
    // The drive whose real root holds the path most closely; SUBST drives are aliases.
    const Drive* best = nullptr;
    std::string best_root;
    const std::vector<Drive> drives = configured_drives();
    for (const Drive& drive : drives) {
        if (!drive.subst.empty()) continue;
        char* root = realpath(drive.root.c_str(), nullptr);
        if (root == nullptr) continue;
        std::string real_root = root;
        std::free(root);
        const bool inside = resolved == real_root ||
                            (resolved.compare(0, real_root.size(), real_root) == 0 &&
                             (real_root == "/" || resolved[real_root.size()] == '/'));
        if (inside && (best == nullptr || real_root.size() > best_root.size())) {
            best = &drive;
            best_root = real_root;
        }
    }
    if (best == nullptr) {
        final = "\\\\?\\unix" + resolved;
        return true;
    }
    std::string rest = resolved.substr(best_root.size());
    if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
    for (char& c : rest) {
        if (c == '/') c = '\\';
    }
    final = std::string("\\\\?\\") + best->letter + ":\\" + rest;
    return true;
}

}  // namespace standin
