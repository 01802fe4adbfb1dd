#pragma once
// Run-time binding of dynamic libraries. Libraries are never looked up in the current
// directory: a library planted there would run inside the program.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/types.h"

namespace platform {

// The platform's file name of a library whose Windows name is given
// ("VLdebug.dll" -> "libVLdebug.so" on POSIX).
std::string LibraryFileName(const std::string& windowsName);

// Loads a library by its Windows file name. POSIX searches the program's directory
// first and then the loader's standard places; Win32 takes the current directory out
// of the search. nullptr on failure (the last error is set).
ModuleHandle OpenLibrary(const std::string& windowsName);
// Loads a system library by its own file name ("libpq.so.5") from the loader's standard
// places only; its symbols stay private to the handle. nullptr on failure.
ModuleHandle OpenSystemLibrary(const std::string& fileName);
void CloseLibrary(ModuleHandle module);
void* FindSymbol(ModuleHandle module, const char* name);

// Full file name of a loaded module; nullptr means the program itself.
std::string ModuleFileName(ModuleHandle module);

// The file version of a loaded module as its four 16-bit parts (major, minor, build,
// revision); none when the module carries no version.
std::optional<std::array<uint16_t, 4>> ModuleFileVersion(ModuleHandle module);

}  // namespace platform
