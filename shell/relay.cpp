#include "shell/relay.h"

#include "platform/console.h"
#include "text/unicode.h"

namespace shell {

namespace {

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// A control character, other than the line ends and the tab that give the
// text its shape.
bool is_control(char16_t unit) {
    if (unit == u'\r' || unit == u'\n' || unit == u'\t') return false;
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

// Our streams are in text mode, where "\n" is written as the platform's line
// end (CR LF on Windows): the interpreter's CR LF goes on as "\n", or a log
// would hold CR CR LF. No Big5 byte is a CR or an LF.
std::string without_crlf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

void write_waiting(Relay& relay) {
    const std::string text = without_crlf(relay.waiting);
    std::fwrite(text.data(), 1, text.size(), relay.to);
    std::fflush(relay.to);
    relay.waiting.clear();
}

}  // namespace

std::string interpreter_text_to_big5(const std::u16string& text) {
    std::string big5;
    std::u16string run;  // characters that go through the code page as one piece
    auto end_run = [&] {
        if (!run.empty()) big5 += platform::to_big5(text::utf16_to_utf8(run));
        run.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            run += unit;
            run += text[++i];
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit) || is_control(unit)) {
            end_run();
            big5 += '?';
        } else if (unit == u'\r' || unit == u'\n' || unit == u'\t') {
            end_run();
            big5 += static_cast<char>(unit);
        } else {
            run += unit;
        }
    }
    end_run();
    return big5;
}

void relay_bytes(Relay& relay, const char* bytes, size_t size) {
    relay.held.append(bytes, size);
    std::u16string units;
    for (size_t i = 0; i + 1 < relay.held.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(relay.held[i]) |
                                       static_cast<unsigned char>(relay.held[i + 1]) << 8);
    }
    // A high surrogate waits for the low one that may come in the next piece.
    if (!units.empty() && is_high_surrogate(units.back())) units.pop_back();
    relay.held.erase(0, units.size() * 2);
    relay.waiting += interpreter_text_to_big5(units);
    // PAUSE's prompt must show before the key is read. A CR waits for the LF
    // that may follow in the next piece.
    if (!relay.waiting.empty() && relay.waiting.back() != '\n' && relay.waiting.back() != '\r') {
        write_waiting(relay);
    }
}

void end_relay(Relay& relay) {
    if (!relay.held.empty()) relay.waiting += '?';
    relay.held.clear();
    if (!relay.waiting.empty()) write_waiting(relay);
}

}  // namespace shell
