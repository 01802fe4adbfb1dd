#pragma once
// The process's console streams.

#include <string>

namespace platform {

enum class Stream { Input = 0, Output = 1, Error = 2 };

bool IsTerminal(Stream stream);

// Whether the output stream is a terminal that moves the cursor on the escape sequences
// of a VT100 (switched on where the console needs that, on Win32).
bool CursorControlOn(Stream stream);

// Makes the console show UTF-8 output (Win32); nothing elsewhere.
void PrepareConsoleOutput();

}  // namespace platform
