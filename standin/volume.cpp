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

#include "text/unicode.h"

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
// characters and "*+,/:;<=>?[\]|.
bool short_name_char(const std::string& ch) {
    if (ch.size() > 1) return false;
    unsigned char c = static_cast<unsigned char>(ch[0]);
    if (c <= 0x20 || c == '.' || c == 0x7F) return false;
    return std::strchr("\"*+,/:;<=>?[\\]|", c) == nullptr;
}

// Upper-cased valid characters of a name part, at most `limit` of them; a character
// other than ASCII becomes "_", as it has no place in the OEM code page.
std::string short_part(const std::string& part, size_t limit) {
    std::string out;
    for (const std::string& ch : utf8_chars(part)) {
        if (ch.size() == 1 && !short_name_char(ch)) continue;
        if (out.size() == limit) break;
        out += ch.size() == 1 ? upper(ch[0]) : '_';
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
    struct stat st, link;
    if (stat(linux_path.c_str(), &st) != 0) return 0;
    const bool is_link = lstat(linux_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
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
    for (const std::string& ch : utf8_chars(base + ext)) {
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
    std::vector<std::string> n = utf8_chars(name);
    if (match_chars(utf8_chars(pattern), 0, n, 0)) return true;
    // As on Windows, "x.*" also matches "x" itself, so "*.*" matches every name.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0) {
        return match_chars(utf8_chars(pattern.substr(0, pattern.size() - 2)), 0, n, 0);
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

bool read_folder(const std::string& linux_folder, std::vector<Entry>& entries) {
    entries.clear();
    DIR* dir = opendir(linux_folder.c_str());
    if (dir == nullptr) return false;
    while (struct dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        Entry entry;
        entry.name = name;
        entry.alias = short_name(name);
        entry.linux_path = linux_folder + "/" + name;
        entry.attributes = read_attributes(entry.linux_path);
        entries.push_back(entry);
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (name_less(a.name, b.name)) return true;
        if (name_less(b.name, a.name)) return false;
        return a.name < b.name;
    });
    return true;
}

bool find_entry(const std::string& linux_folder, const std::string& name, Entry& entry) {
    if (is_device_name(name)) return false;
    std::vector<Entry> entries;
    if (!read_folder(linux_folder, entries)) return false;
    for (const Entry& e : entries) {
        if (e.name == name) {
            entry = e;
            return true;
        }
    }
    for (const Entry& e : entries) {
        if (same_name(e.name, name) || (!e.alias.empty() && same_name(e.alias, name))) {
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
