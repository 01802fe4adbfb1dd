#pragma once
// The process's console streams.

#include <string>

namespace platform {

enum class Stream { Input = 0, Output = 1, Error = 2 };

bool IsTerminal(Stream stream);

// Makes the console show UTF-8 output (Win32); nothing elsewhere.
void PrepareConsoleOutput();

}  // namespace platform
