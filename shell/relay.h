// What the interpreter writes of its own (PAUSE's prompt, del's question, its
// complaints) on its way to a stream that is no console. Started with /u, it
// writes UTF-16LE there, while the program's own lines are Big5; so that a
// log holds one encoding, its text is turned into Big5 the way names are
// shown: "?" for a character Big5 lacks and for a control character. Tabs
// stay, and line ends, a CR LF written as "\n" to our text-mode stream.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace shell {

// One stream of the interpreter, relayed to one of ours.
struct Relay {
    std::FILE* to = nullptr;
    std::string held;     // the bytes of a character still incomplete
    std::string waiting;  // Big5 text not written yet
};

// Turns the whole characters of bytes (UTF-16LE) into Big5 for relay.to, and
// keeps an incomplete one for the next call. Whole lines wait, so that a
// chatty start costs few writes; text that ends without a line end (a prompt
// that waits for a key) is written at once.
void relay_bytes(Relay& relay, const char* bytes, size_t size);

// The stream has ended: writes what waits, and a character left incomplete
// as "?".
void end_relay(Relay& relay);

// UTF-16 text of the interpreter in Big5, as above.
std::string interpreter_text_to_big5(const std::u16string& text);

}  // namespace shell
