#include "shell/output.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

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

void say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace shell
