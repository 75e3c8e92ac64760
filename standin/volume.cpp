// Windows drives, paths and names on top of Linux folders.
#include "standin/volume.h"

#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace standin {

namespace {

struct TypeName {
    const char* name;
    unsigned code;
};

// Drive type words of NODREL_DRIVES and the GetDriveTypeA codes they stand for.
const TypeName kTypeNames[] = {
    {"unknown", 0}, {"noroot", 1}, {"removable", 2}, {"fixed", 3},
    {"remote", 4},  {"cdrom", 5},  {"ramdisk", 6},
};

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool parse_type(const std::string& word, unsigned& code) {
    for (const TypeName& t : kTypeNames) {
        if (same_name(word, t.name)) {
            code = t.code;
            return true;
        }
    }
    return false;
}

// Splits Big5 text into characters: a lead byte 0x81-0xFE takes the next byte with it.
std::vector<std::string> big5_chars(const std::string& text) {
    std::vector<std::string> chars;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) ? 2 : 1;
        chars.push_back(text.substr(i, len));
        i += len;
    }
    return chars;
}

// Length of the UTF-8 sequence starting at text[i], 0 when it is not valid UTF-8.
size_t utf8_length(const std::string& text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > text.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    }
    return len;
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

// A character allowed in an 8.3 name: any double-byte character, and ASCII other than
// blanks, dots, control characters and "*+,/:;<=>?[\]|.
bool short_name_char(const std::string& ch) {
    if (ch.size() > 1) return true;
    unsigned char c = static_cast<unsigned char>(ch[0]);
    if (c <= 0x20 || c == '.' || c == 0x7F) return false;
    return std::strchr("\"*+,/:;<=>?[\\]|", c) == nullptr;
}

// Upper-cased valid characters of a name part, at most `limit` bytes, never half a character.
std::string short_part(const std::string& part, size_t limit) {
    std::string out;
    for (const std::string& ch : big5_chars(part)) {
        if (!short_name_char(ch)) continue;
        if (out.size() + ch.size() > limit) break;
        out += ch.size() == 1 ? std::string(1, upper(ch[0])) : ch;
    }
    return out;
}

bool match_chars(const std::vector<std::string>& p, size_t pi, const std::vector<std::string>& n, size_t ni) {
    // Iterative glob: remember the last "*" and retry from one character further on failure.
    size_t star = std::string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == "*") {
            star = pi++;
            resume = ni;
        } else if (pi < p.size() && (p[pi] == "?" || same_name(p[pi], n[ni]))) {
            ++pi;
            ++ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == "*") ++pi;
    return pi == p.size();
}

}  // namespace

std::vector<Drive> configured_drives() {
    std::vector<Drive> drives;
    const char* value = std::getenv("NODREL_DRIVES");
    if (value == nullptr) return drives;
    std::string table = value;
    size_t start = 0;
    while (start <= table.size()) {
        size_t end = table.find(';', start);
        if (end == std::string::npos) end = table.size();
        std::string item = table.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;
        // "E=removable:/media/stick": letter, "=", type word, ":", Linux folder.
        size_t colon = item.find(':');
        unsigned type = 0;
        if (item.size() < 4 || !std::isalpha(static_cast<unsigned char>(item[0])) || item[1] != '=' ||
            colon == std::string::npos || colon + 1 >= item.size() ||
            !parse_type(item.substr(2, colon - 2), type)) {
            std::fprintf(stderr, "nodrel stand-in: NODREL_DRIVES entry '%s' ignored\n", item.c_str());
            continue;
        }
        Drive drive{upper(item[0]), type, item.substr(colon + 1)};
        // A letter given twice keeps its last entry.
        drives.erase(std::remove_if(drives.begin(), drives.end(),
                                    [&](const Drive& d) { return d.letter == drive.letter; }),
                     drives.end());
        drives.push_back(drive);
    }
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return drives;
}

bool find_drive(char letter, Drive& drive) {
    for (const Drive& d : configured_drives()) {
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
    struct stat st;
    if (stat(linux_path.c_str(), &st) != 0) return 0;
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
    } else if ((st.st_mode & 0222) == 0) {
        attributes |= kAttrReadOnly;
    }
    return attributes;
}

std::string listing_name(const std::string& utf8_name) {
    std::string out;
    for (size_t i = 0; i < utf8_name.size();) {
        size_t len = utf8_length(utf8_name, i);
        if (len == 0) {  // not UTF-8 at all: cmd could not show it either
            out += '?';
            ++i;
            continue;
        }
        std::string ch = utf8_name.substr(i, len), big5;
        if (len == 1) {
            out += ch;
        } else if (convert("CP950", "UTF-8", ch, big5)) {
            out += big5;
        } else {
            out += '?';
        }
        i += len;
    }
    return out;
}

std::string big5_to_utf8(const std::string& big5) {
    std::string out;
    for (const std::string& ch : big5_chars(big5)) {
        std::string utf8;
        if (ch.size() == 1 && static_cast<unsigned char>(ch[0]) < 0x80) {
            out += ch;
        } else if (convert("UTF-8", "CP950", ch, utf8)) {
            out += utf8;
        } else {
            out += ch;
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
    for (const std::string& ch : big5_chars(base + ext)) {
        if (!short_name_char(ch)) return false;
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
    std::vector<std::string> n = big5_chars(name);
    if (match_chars(big5_chars(pattern), 0, n, 0)) return true;
    // As on Windows, "x.*" also matches "x" itself, so "*.*" matches every name.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0) {
        return match_chars(big5_chars(pattern.substr(0, pattern.size() - 2)), 0, n, 0);
    }
    return false;
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

bool read_folder(const std::string& linux_folder, std::vector<Entry>& entries) {
    entries.clear();
    DIR* dir = opendir(linux_folder.c_str());
    if (dir == nullptr) return false;
    while (struct dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        Entry entry;
        entry.name = name;
        entry.shown = listing_name(name);
        entry.alias = short_name(entry.shown);
        entry.linux_path = linux_folder + "/" + name;
        entry.attributes = read_attributes(entry.linux_path);
        entries.push_back(entry);
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (name_less(a.shown, b.shown)) return true;
        if (name_less(b.shown, a.shown)) return false;
        return a.name < b.name;
    });
    return true;
}

bool find_entry(const std::string& linux_folder, const std::string& name, Entry& entry) {
    std::vector<Entry> entries;
    if (!read_folder(linux_folder, entries)) return false;
    for (const Entry& e : entries) {
        if (e.shown == name || e.name == name) {
            entry = e;
            return true;
        }
    }
    for (const Entry& e : entries) {
        if (same_name(e.shown, name) || same_name(e.name, name) || (!e.alias.empty() && same_name(e.alias, name))) {
            entry = e;
            return true;
        }
    }
    return false;
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
    linux_folder = drive.root;
    return true;
}

bool walk_folders(const WinPath& path, size_t count, std::string& linux_folder) {
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

}  // namespace standin
