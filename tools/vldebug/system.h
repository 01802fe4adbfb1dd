#pragma once
// What the library needs from the operating system: the environment, and stderr with
// its colours.

#include <cstdio>
#include <string>
#include <string_view>

#include "colour_tag.h"

namespace vldebug {

// Value of an environment variable as the process sees it now, "" when unset.
std::string ReadEnvironment(const char* name);

// Opens path for appending, creating it when missing; nullptr on failure. With
// refuseLink a symbolic link at path is not followed (POSIX): in a shared temporary
// directory another user could otherwise point the log at a file of ours.
std::FILE* OpenForAppend(const std::string& path, bool refuseLink);

// Whether stderr is a terminal (a console on Windows).
bool StderrIsTerminal();

// Writes text to stderr in colour and switches back to the terminal's own colour.
void WriteStderr(Colour colour, std::string_view text);

}  // namespace vldebug
