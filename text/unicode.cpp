#include "text/unicode.h"

namespace text {

namespace {

const char32_t kReplacement = 0xFFFD;

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

char32_t decode_utf8(const std::string& utf8, size_t i, size_t& length) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    length = 1;
    if (lead < 0x80) return lead;
    size_t count;
    char32_t c;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4;
        c = lead & 0x07;
    } else {
        return kReplacement;
    }
    if (i + count > utf8.size()) return kReplacement;
    for (size_t k = 1; k < count; ++k) {
        const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
        if ((next & 0xC0) != 0x80) return kReplacement;
        c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms and code points past U+10FFFF start no valid sequence.
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[count] || c > 0x10FFFF) return kReplacement;
    length = count;
    return c;
}

std::u16string utf8_to_utf16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        size_t length;
        char32_t c = decode_utf8(utf8, i, length);
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string utf16_to_utf8(const std::u16string& utf16) {
    std::string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        append_utf8(out, c);
    }
    return out;
}

std::string utf16le_to_utf8(const std::string& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return utf16_to_utf8(units);
}

bool is_valid_utf8(const std::string& utf8) {
    for (size_t i = 0; i < utf8.size();) {
        size_t length;
        char32_t c = decode_utf8(utf8, i, length);
        if (is_surrogate(c)) return false;
        if (c == kReplacement && length == 1) return false;
        i += length;
    }
    return true;
}

}  // namespace text
