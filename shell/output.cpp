#include "shell/output.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/console.h"

namespace shell {

std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, pattern, measure);
    va_end(measure);
    std::string result;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), pattern, args);
        result.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(args);
    return result;
}

std::string for_console(const std::string& utf8) {
    std::string shown = platform::to_big5(utf8);
    for (char& c : shown) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return shown;
}

namespace {

std::vector<std::function<std::string()>>& held() {
    static std::vector<std::function<std::string()>> lines;
    return lines;
}

void write_line(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace

void say(const std::string& line) {
    if (held().empty()) {
        write_line(line);
    } else {
        held().push_back([line] { return line; });
    }
}

void say_later(std::function<std::string()> line) { held().push_back(std::move(line)); }

void write_held_lines() {
    std::vector<std::function<std::string()>> lines;
    lines.swap(held());
    for (const auto& line : lines) write_line(line());
}

}  // namespace shell
