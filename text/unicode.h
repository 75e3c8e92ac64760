// Conversions between UTF-8, the program's own form of every name and command,
// and UTF-16, the form of names on Windows and in the work files.
//
// A Windows name may hold a lone surrogate. It is carried as the three-byte
// form UTF-8 would give that code unit, so that every name converts back
// exactly; is_valid_utf8 tells such names apart.
#pragma once

#include <string>

namespace text {

// UTF-8 (lone surrogates allowed) to UTF-16. A byte that starts no sequence
// becomes U+FFFD, so no input is ever dropped silently.
std::u16string utf8_to_utf16(const std::string& utf8);

// UTF-16 to UTF-8; lone surrogates keep their three-byte form.
std::string utf16_to_utf8(const std::u16string& utf16);

// Little-endian UTF-16 bytes, as `cmd /u` writes them, to UTF-8. An odd last
// byte is dropped.
std::string utf16le_to_utf8(const std::string& bytes);

// True when the text is UTF-8 of Unicode characters only: no lone surrogate,
// no byte that starts no sequence.
bool is_valid_utf8(const std::string& utf8);

// Decodes the character at utf8[i]; sets length to its bytes. Returns
// U+FFFD with length 1 for a byte that starts no sequence.
char32_t decode_utf8(const std::string& utf8, size_t i, size_t& length);

}  // namespace text
