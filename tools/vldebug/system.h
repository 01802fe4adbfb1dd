#pragma once
// What the library needs from the operating system: the environment, and stderr with
// its colours.

#include <string>
#include <string_view>

#include "colour_tag.h"

namespace vldebug {

// Value of an environment variable as the process sees it now, "" when unset.
std::string ReadEnvironment(const char* name);

// Whether stderr is a terminal (a console on Windows).
bool StderrIsTerminal();

// Writes text to stderr in colour and switches back to the terminal's own colour.
void WriteStderr(Colour colour, std::string_view text);

}  // namespace vldebug
