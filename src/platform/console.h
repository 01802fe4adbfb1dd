#pragma once
// The process's console streams.

#include <cstdio>
#include <string>

namespace platform {

enum class Stream { Input = 0, Output = 1, Error = 2 };

bool IsTerminal(Stream stream);

// Whether the output stream is a terminal that moves the cursor on the escape sequences
// of a VT100 (switched on where the console needs that, on Win32).
bool CursorControlOn(Stream stream);

// Sets the standard output aside for one reader: the stream returned writes where standard
// output went, and from now on everything else written to standard output goes to the
// standard error stream. nullptr when it cannot be done (standard output stays).
std::FILE* SetStandardOutputAside();

// Makes the console show UTF-8 output (Win32); nothing elsewhere.
void PrepareConsoleOutput();

}  // namespace platform
