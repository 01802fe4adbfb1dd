#pragma once
// Whole-file helpers for small files (settings, profiles).

#include <string>

namespace platform {

enum class ReadResult { Ok, Missing, Error };

ReadResult ReadWholeFile(const std::string& path, std::string& data);

// Creates the directory and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Writes data to path atomically: a crash leaves the old file or the new one.
bool WriteFileAtomically(const std::string& path, const std::string& data);

}  // namespace platform
