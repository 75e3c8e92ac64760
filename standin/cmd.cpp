// An emulated cmd.exe for the stand-in: %VAR% expansion, quoting, "^", command separators,
// redirection, and the built-ins dir, del, echo and pause over the mapped drives.
#include "standin/cmd.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "standin/volume.h"
#include "text/unicode.h"

extern char** environ;

namespace standin {

namespace {

// How the interpreter writes text that does not go to a terminal: UTF-16LE
// with /u, otherwise in code page 950 with best fit.
bool g_unicode = false;

std::string encoded(const std::string& utf8) {
    if (!g_unicode) return best_fit_big5(utf8);
    std::string bytes;
    for (char16_t unit : text::utf8_to_utf16(utf8)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// Where a command's output goes: a C stream, a string, or nowhere (nul).
struct Sink {
    FILE* file = nullptr;
    bool terminal = false;  // the file is a terminal
    std::string* text = nullptr;

    void write(const std::string& s) const {
        if (text != nullptr) {
            text->append(encoded(s));
        } else if (file != nullptr) {
            // A terminal shows the text itself, for whoever debugs by hand.
            const std::string bytes = terminal ? s : encoded(s);
            std::fwrite(bytes.data(), 1, bytes.size(), file);
        }
    }
    void line(const std::string& s) const { write(s + "\r\n"); }
    void flush() const {
        if (file != nullptr) std::fflush(file);
    }
};

Sink file_sink(FILE* file) {
    Sink sink;
    sink.file = file;
    sink.terminal = isatty(fileno(file)) != 0;
    return sink;
}

// A character of a command line, "active" when it is outside double quotes and not
// escaped by "^", so that it may act as syntax (blank, quote, redirection).
struct Char {
    char c;
    bool active;
};
using Chars = std::vector<Char>;

// How a command depends on the one before it: "&" (or "|"), "&&", "||".
enum class Join { kAlways, kIfSucceeded, kIfFailed };

struct Step {
    Join join = Join::kAlways;
    Chars chars;
};

struct Redirect {
    int fd = 1;             // 0 input, 1 output, 2 errors
    bool append = false;    // ">>"
    std::string target;     // file name, or "&1" / "&2"
};

// One simple command once redirections are taken out.
struct Command {
    Chars chars;                      // the text without its redirections
    std::vector<Redirect> redirects;  // in the order written
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string lower_text(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool lookup_variable(const std::string& name, std::string& value) {
    if (const char* exact = std::getenv(name.c_str())) {
        value = exact;
        return true;
    }
    // Windows variable names ignore letter case: %systemdrive% finds SYSTEMDRIVE.
    for (char** env = environ; env != nullptr && *env != nullptr; ++env) {
        const char* eq = std::strchr(*env, '=');
        if (eq != nullptr && same_name(std::string(static_cast<const char*>(*env), eq), name)) {
            value = eq + 1;
            return true;
        }
    }
    return false;
}

// Splits a line at "&", "&&", "||" and "|" outside quotes; "^" escapes the next character.
std::vector<Step> split_steps(const std::string& line) {
    std::vector<Step> steps(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        Chars& cur = steps.back().chars;
        if (quoted) {
            cur.push_back({c, c == '"'});
            if (c == '"') quoted = false;
        } else if (c == '"') {
            cur.push_back({c, true});
            quoted = true;
        } else if (c == '^') {
            if (i + 1 < line.size()) cur.push_back({line[++i], false});
        } else if (c == '&' && !cur.empty() && cur.back().active && (cur.back().c == '>' || cur.back().c == '<')) {
            cur.push_back({c, true});  // "2>&1": a handle, not a separator
        } else if (c == '&' || c == '|') {
            Join join = Join::kAlways;
            if (i + 1 < line.size() && line[i + 1] == c) {
                join = c == '&' ? Join::kIfSucceeded : Join::kIfFailed;
                ++i;
            }
            steps.emplace_back();
            steps.back().join = join;
        } else {
            cur.push_back({c, true});
        }
    }
    return steps;
}

// Reads one word from chars[i]: up to an active blank or redirection sign, quotes removed.
std::string read_word(const Chars& chars, size_t& i) {
    std::string word;
    for (; i < chars.size(); ++i) {
        const Char& ch = chars[i];
        if (ch.active && (is_blank(ch.c) || ch.c == '<' || ch.c == '>')) break;
        if (ch.active && ch.c == '"') continue;
        word += ch.c;
    }
    return word;
}

// Takes the redirections ("> f", ">> f", "2> f", "2>&1", "< f") out of a command.
Command parse_command(const Chars& chars) {
    Command command;
    for (size_t i = 0; i < chars.size();) {
        const Char& ch = chars[i];
        if (!ch.active || (ch.c != '>' && ch.c != '<')) {
            command.chars.push_back(ch);
            ++i;
            continue;
        }
        Redirect redirect;
        redirect.fd = ch.c == '<' ? 0 : 1;
        // A lone digit just before the sign names the handle: "2>" or "1>".
        Chars& kept = command.chars;
        if (!kept.empty() && kept.back().active && (kept.back().c == '1' || kept.back().c == '2') &&
            (kept.size() == 1 || (kept[kept.size() - 2].active && is_blank(kept[kept.size() - 2].c)))) {
            redirect.fd = kept.back().c - '0';
            kept.pop_back();
        }
        ++i;
        if (redirect.fd != 0 && i < chars.size() && chars[i].active && chars[i].c == '>') {
            redirect.append = true;
            ++i;
        }
        while (i < chars.size() && chars[i].active && is_blank(chars[i].c)) ++i;
        redirect.target = read_word(chars, i);
        command.redirects.push_back(redirect);
    }
    return command;
}

std::string text_of(const Chars& chars) {
    std::string text;
    for (const Char& ch : chars) text += ch.c;
    return text;
}

// Splits a command into words at active blanks (and at the extra delimiters given,
// such as "," and ";" for dir and del); quotes are removed.
std::vector<std::string> split_words(const Chars& chars, const char* extra_delimiters) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    for (const Char& ch : chars) {
        bool delimiter =
            ch.active && (is_blank(ch.c) || (ch.c != '\0' && std::strchr(extra_delimiters, ch.c) != nullptr));
        if (delimiter) {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            in_word = true;
            if (!(ch.active && ch.c == '"')) word += ch.c;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

// The attribute filter of dir and del: entries must have every required bit and no
// forbidden one. Without /a, hidden and system entries are left out.
struct AttributeFilter {
    unsigned required = 0;
    unsigned forbidden = kAttrHidden | kAttrSystem;

    bool accepts(unsigned attributes) const {
        return (attributes & required) == required && (attributes & forbidden) == 0;
    }
};

// Parses what follows "/a": nothing (every entry), or letters d h s r a, each maybe after "-".
bool parse_attribute_switch(const std::string& letters, AttributeFilter& filter) {
    filter = AttributeFilter{0, 0};
    size_t i = (!letters.empty() && letters[0] == ':') ? 1 : 0;
    bool negate = false;
    for (; i < letters.size(); ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(letters[i])));
        unsigned bit;
        switch (c) {
            case '-': negate = true; continue;
            case 'd': bit = kAttrDirectory; break;
            case 'h': bit = kAttrHidden; break;
            case 's': bit = kAttrSystem; break;
            case 'r': bit = kAttrReadOnly; break;
            case 'a': bit = 0; break;  // archive: not tracked, so it filters nothing
            default: return false;
        }
        (negate ? filter.forbidden : filter.required) |= bit;
        negate = false;
    }
    return true;
}

// Splits "/b/a-d" or "/ah" into single switches without their slashes.
std::vector<std::string> switches_of(const std::string& word) {
    std::vector<std::string> switches;
    size_t start = 1;
    while (start <= word.size()) {
        size_t end = word.find('/', start);
        if (end == std::string::npos) end = word.size();
        if (end > start) switches.push_back(word.substr(start, end - start));
        start = end + 1;
    }
    return switches;
}

// The entries one dir/del path selects.
struct Selection {
    bool path_found = false;
    bool device = false;         // the path names a device, not a file
    bool whole_folder = false;   // every file of a folder: del asks first
    std::string shown_folder;   // the folder part as typed, ending with "\" when not empty
    std::vector<Entry> entries;  // sorted by name
};

// Resolves a path the way dir and del read it: a folder lists its contents, otherwise the
// last component is a pattern matched against long and short names.
Selection select_entries(const std::string& path, const AttributeFilter& filter) {
    Selection selection;
    WinPath win = split_path(path);
    std::string folder, pattern = "*";
    size_t slash = path.find_last_of("\\/");
    selection.shown_folder = slash == std::string::npos ? (win.has_drive ? path.substr(0, 2) : "")
                                                        : path.substr(0, slash + 1);
    if (win.parts.empty() || win.trailing_separator) {
        if (!walk_folders(win, win.parts.size(), folder)) return selection;
    } else {
        if (!walk_folders(win, win.parts.size() - 1, folder)) return selection;
        const std::string& last = win.parts.back();
        Entry named;
        if (last == "." || last == "..") {
            folder += "/" + last;
            selection.shown_folder = path + "\\";
        } else if (is_device_name(last)) {
            selection.device = true;
            return selection;
        } else if (!has_wildcards(last) && find_entry(folder, last, named) && named.is_directory()) {
            folder = named.linux_path;
            selection.shown_folder = path + "\\";
        } else {
            pattern = last;
        }
    }
    selection.whole_folder = pattern == "*" || pattern == "*.*";
    std::vector<Entry> entries;
    if (!match_entries(folder, pattern, entries)) return selection;
    selection.path_found = true;
    for (const Entry& entry : entries) {
        if (filter.accepts(entry.attributes)) selection.entries.push_back(entry);
    }
    return selection;
}

const char kPathNotFound[] = "The system cannot find the path specified.";
const char kPathTooLong[] = "The filename or extension is too long.";

// cmd.exe takes no path of MAX_PATH (260) UTF-16 units or more.
bool too_long_for_cmd(const std::string& path) { return text::utf8_to_utf16(path).size() >= 260; }

bool run_echo(const std::string& text, const Sink& out) {
    // The text starts right after "echo" and the one delimiter that ends the word.
    std::string rest = text;
    bool blank_only = rest.find_first_not_of(" \t") == std::string::npos;
    if (rest.empty() || (is_blank(rest[0]) && blank_only)) {
        out.line("ECHO is on.");
        return true;
    }
    rest.erase(0, 1);
    std::string word = lower_text(rest);
    word.erase(word.find_last_not_of(" \t") + 1);
    if (is_blank(text[0]) && (word == "on" || word == "off")) return true;  // echo state: nothing shown
    out.line(rest);
    return true;
}

bool run_pause(const Sink& out, FILE* input) {
    out.write("Press any key to continue... ");
    out.flush();
    // The key is read as a whole line, or up to the end of the input.
    if (input != nullptr) {
        int c;
        while ((c = std::fgetc(input)) != EOF && c != '\n') {
        }
    }
    return true;
}

// Splits the arguments of dir or del into paths and switches. "/a..." sets the
// attribute filter; every other switch goes to other, which returns false for one
// the command does not know. Complains on err and returns false on a bad switch.
bool parse_arguments(const std::vector<std::string>& args, AttributeFilter& filter, std::vector<std::string>& paths,
                     const std::function<bool(const std::string&, char)>& other, const Sink& err) {
    for (const std::string& arg : args) {
        if (arg.empty() || arg[0] != '/') {
            paths.push_back(arg);
            continue;
        }
        for (const std::string& sw : switches_of(arg)) {
            char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(sw[0])));
            if (letter == 'a') {
                if (!parse_attribute_switch(sw.substr(1), filter)) {
                    err.line("Parameter format not correct - \"" + sw.substr(1) + "\".");
                    return false;
                }
            } else if (!other(sw, letter)) {
                err.line("Invalid switch - \"" + sw + "\".");
                return false;
            }
        }
    }
    return true;
}

bool run_dir(const std::vector<std::string>& args, const Sink& out, const Sink& err) {
    AttributeFilter filter;
    std::vector<std::string> paths;
    auto other = [](const std::string& sw, char letter) {
        // Bare names are the only format written; entries come sorted by name and never paged.
        return (letter == 'b' && sw.size() == 1) || letter == 'o' || lower_text(sw) == "-p" ||
               lower_text(sw) == "p";
    };
    if (!parse_arguments(args, filter, paths, other, err)) return false;
    if (paths.empty()) paths.push_back("*");
    bool listed = false, complained = false;
    for (const std::string& path : paths) {
        if (too_long_for_cmd(path)) {
            err.line(kPathTooLong);
            complained = true;
            continue;
        }
        Selection selection = select_entries(path, filter);
        if (!selection.path_found) {
            err.line(kPathNotFound);
            complained = true;
            continue;
        }
        for (const Entry& entry : selection.entries) {
            out.line(entry.name);
            listed = true;
        }
    }
    if (!listed && !complained) err.line("File Not Found");
    return listed;
}

// del's question before it empties a whole folder. The answer is a line of
// input. With no input (a pipe already closed) the answer is "no". At the end
// of an input that stays open (nul, a file, the caller's pipe), Wine's cmd.exe
// asks again for ever; here the question is repeated a thousand times, then
// taken as "no".
bool confirm_whole_folder(const std::string& pattern, const Sink& out, FILE* input) {
    for (int asked = 0; asked < 1000; ++asked) {
        out.write(pattern + " Are you sure? (Yes|No)");
        out.flush();
        if (input == nullptr) return false;
        std::string answer;
        int c;
        while ((c = std::fgetc(input)) != EOF && c != '\n') answer += static_cast<char>(c);
        if (!answer.empty()) return answer[0] == 'y' || answer[0] == 'Y';
        if (c == '\n') return false;
    }
    return false;
}

bool run_del(const std::vector<std::string>& args, const Sink& out, const Sink& err, FILE* input) {
    AttributeFilter filter;
    bool force = false, quiet = false;
    std::vector<std::string> paths;
    auto other = [&force, &quiet](const std::string& sw, char letter) {
        if (sw.size() != 1) return false;
        if (letter == 'f') force = true;
        if (letter == 'q') quiet = true;
        return letter == 'f' || letter == 'q';
    };
    if (!parse_arguments(args, filter, paths, other, err)) return false;
    if (paths.empty()) {
        err.line("The syntax of the command is incorrect.");
        return false;
    }
    for (const std::string& path : paths) {
        if (too_long_for_cmd(path)) {
            err.line(kPathTooLong);
            continue;
        }
        Selection selection = select_entries(path, filter);
        if (selection.device) {
            err.line("Access is denied.");  // a device is no file to delete
            continue;
        }
        if (!selection.path_found) {
            err.line(kPathNotFound);
            continue;
        }
        if (selection.whole_folder && !quiet && !confirm_whole_folder(selection.shown_folder + "*", out, input)) {
            continue;
        }
        bool found = false;
        for (const Entry& entry : selection.entries) {
            if (entry.is_directory()) continue;  // del removes files only
            found = true;
            if (((entry.attributes & kAttrReadOnly) != 0 && !force) || unlink(entry.linux_path.c_str()) != 0) {
                err.line(selection.shown_folder + entry.name);
                err.line("Access is denied.");
            } else {
                forget_lookups();  // the next path must see the folder without it
            }
        }
        if (!found) err.line("Could Not Find " + path);
    }
    return true;
}

// Linux path for a redirection target: an existing entry, or a new name in an existing folder.
bool target_path(const std::string& target, std::string& linux_path) {
    WinPath win = split_path(target);
    if (win.parts.empty() || win.trailing_separator) return false;
    std::string folder;
    if (!walk_folders(win, win.parts.size() - 1, folder)) return false;
    if (is_device_name(win.parts.back())) return false;  // only nul is ever a target
    Entry entry;
    if (find_entry(folder, win.parts.back(), entry)) {
        if (entry.is_directory()) return false;
        linux_path = entry.linux_path;
    } else {
        linux_path = folder + "/" + win.parts.back();
    }
    return true;
}

bool is_nul_device(const std::string& target) {
    std::string t = lower_text(target);
    return t == "nul" || t == "nul:" || t.compare(0, 4, "nul.") == 0;
}

// Runs one simple command with its redirections; false when it failed.
bool run_step(const Chars& chars, std::string* capture, FILE* input, std::string* errors) {
    Command command = parse_command(chars);
    // What earlier commands learned of the folders is out of date: they may have changed them.
    LookupScope scope;
    forget_lookups();
    Sink out, err = file_sink(stderr);
    if (errors != nullptr) {
        err = Sink{};
        err.text = errors;
    }
    if (capture != nullptr) {
        out.text = capture;
    } else {
        out = file_sink(stdout);
    }
    Sink console_err = err;

    // Redirection targets are opened (and created) before the command runs.
    std::vector<FILE*> opened;
    bool ok = true;
    for (const Redirect& r : command.redirects) {
        std::string linux_path;
        FILE* file = nullptr;
        if (r.fd == 0 && is_nul_device(r.target)) {
            input = nullptr;  // reading nul gives the end of input at once
            continue;
        }
        if (r.fd == 0) {
            if (resolve_existing(r.target, linux_path)) file = std::fopen(linux_path.c_str(), "rb");
            if (file == nullptr) {
                console_err.line("The system cannot find the file specified.");
                ok = false;
                break;
            }
            input = file;
            opened.push_back(file);
            continue;
        }
        Sink& sink = r.fd == 2 ? err : out;
        if (r.target == "&1" || r.target == "&2") {
            sink = r.target == "&1" ? out : err;
        } else if (is_nul_device(r.target)) {
            sink = Sink{};
        } else {
            if (target_path(r.target, linux_path)) file = std::fopen(linux_path.c_str(), r.append ? "ab" : "wb");
            forget_lookups();  // the file may be new: later targets and the command must see it
            if (file == nullptr) {
                console_err.line(kPathNotFound);
                ok = false;
                break;
            }
            sink = file_sink(file);
            opened.push_back(file);
        }
    }

    if (ok) {
        // The command word ends at a blank, or at "/" as in "dir/b".
        size_t start = 0;
        while (start < command.chars.size() && (is_blank(command.chars[start].c) || command.chars[start].c == '@')) {
            ++start;
        }
        Chars body(command.chars.begin() + static_cast<long>(start), command.chars.end());
        std::vector<std::string> words = split_words(body, "");
        std::string name = words.empty() ? "" : words[0];
        std::string lowered = lower_text(name);
        if (lowered.compare(0, 4, "echo") == 0 &&
            (lowered.size() == 4 || std::strchr(".:;(+[]/\\,=", lowered[4]) != nullptr)) {
            ok = run_echo(text_of(body).substr(4), out);
        } else if (name.empty()) {
            ok = true;  // only blanks, or only redirections
        } else {
            size_t slash = name.find('/');
            std::string verb = lower_text(name.substr(0, slash));
            std::vector<std::string> args = split_words(body, ",;");
            args.erase(args.begin());
            if (slash != std::string::npos && slash > 0) args.insert(args.begin(), name.substr(slash));
            if (verb == "dir") {
                ok = run_dir(args, out, err);
            } else if (verb == "del" || verb == "erase") {
                ok = run_del(args, out, err, input);
            } else if (verb == "pause" && slash == std::string::npos) {
                ok = run_pause(out, input);
            } else {
                err.line("'" + name + "' is not recognized as an internal or external command,");
                err.line("operable program or batch file.");
                ok = false;
            }
        }
    }
    out.flush();
    for (FILE* file : opened) std::fclose(file);
    return ok;
}

}  // namespace

std::string expand_variables(const std::string& line) {
    std::string out;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] != '%') {
            out += line[i++];
            continue;
        }
        size_t close = line.find('%', i + 1);
        if (close == std::string::npos) {
            out += line.substr(i);
            break;
        }
        std::string name = line.substr(i + 1, close - i - 1), value;
        if (name.empty()) {
            out += '%';  // "%%": the second "%" may still open a variable
            i = close;
        } else if (lookup_variable(name, value)) {
            out += value;
            i = close + 1;
        } else {
            out += line.substr(i, close - i + 1);  // undefined: left as typed
            i = close + 1;
        }
    }
    return out;
}

bool run_interpreter(const std::string& line, std::string* capture, FILE* input, std::string* errors) {
    // "cmd.exe", then its switches up to "/c"; the rest of the line is the command.
    size_t i = line.find_first_of(" \t");
    bool unicode = false;
    while (i != std::string::npos) {
        i = line.find_first_not_of(" \t", i);
        if (i == std::string::npos) break;
        size_t end = line.find_first_of(" \t", i);
        const std::string word = lower_text(line.substr(i, end == std::string::npos ? std::string::npos : end - i));
        if (word == "/c") {
            i = end == std::string::npos ? line.size() : end + 1;
            break;
        }
        if (word == "/u") unicode = true;
        i = end;
    }
    if (i == std::string::npos) i = line.size();
    g_unicode = unicode;
    bool succeeded = run_command_line(line.substr(i), capture, input, errors);
    g_unicode = false;
    return succeeded;
}

bool run_command_line(const std::string& line, std::string* capture, FILE* input, std::string* errors) {
    bool succeeded = true;
    for (const Step& step : split_steps(expand_variables(line))) {
        if (step.join == Join::kIfSucceeded && !succeeded) continue;
        if (step.join == Join::kIfFailed && succeeded) continue;
        bool blank = true;
        for (const Char& ch : step.chars) blank = blank && is_blank(ch.c);
        if (blank) continue;
        succeeded = run_step(step.chars, capture, input, errors);
    }
    return succeeded;
}

}  // namespace standin
