// Big5 for the console through the system's own code page 950 table.
#include "platform/console.h"

#include <windows.h>

#include "text/unicode.h"

namespace platform {

std::string to_big5(const std::string& utf8) {
    const std::u16string wide = text::utf8_to_utf16(utf8);
    std::string out;
    // One character at a time, so that each one Big5 lacks becomes one "?".
    for (size_t i = 0; i < wide.size(); ++i) {
        size_t units = (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() &&
                        wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) ? 2 : 1;
        const wchar_t* source = reinterpret_cast<const wchar_t*>(wide.data() + i);
        char bytes[8];
        BOOL defaulted = FALSE;
        int length = WideCharToMultiByte(950, WC_NO_BEST_FIT_CHARS, source, static_cast<int>(units), bytes,
                                         sizeof bytes, "?", &defaulted);
        if (length <= 0 || defaulted) {
            out += '?';
        } else {
            out.append(bytes, static_cast<size_t>(length));
        }
        i += units - 1;
    }
    return out;
}

namespace {

bool is_console(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool stdout_is_console() { return is_console(STD_OUTPUT_HANDLE); }
bool stderr_is_console() { return is_console(STD_ERROR_HANDLE); }

}  // namespace platform
