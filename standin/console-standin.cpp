// Big5 for the console of the stand-in, through iconv's code page 950.
#include "platform/console.h"

#include <unistd.h>

#include "standin/volume.h"

namespace platform {

std::string to_big5(const std::string& utf8) { return standin::exact_big5(utf8); }

// A terminal stands for the console.
bool stdout_is_console() { return isatty(STDOUT_FILENO) != 0; }
bool stderr_is_console() { return isatty(STDERR_FILENO) != 0; }

}  // namespace platform
