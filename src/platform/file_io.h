#pragma once
// Whole-file helpers for small files (settings, profiles, the update records).

#include <string>

namespace platform {

enum class ReadResult { Ok, Missing, Error };

ReadResult ReadWholeFile(const std::string& path, std::string& data);

// Creates the directory and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Writes data to path atomically: a crash leaves the old file or the new one.
bool WriteFileAtomically(const std::string& path, const std::string& data);

// Appends line (a complete line, its end included) to path with one write to the file
// opened for appending, then flushes it to the disk; the folder is created first. Two
// processes appending at once never interleave their lines. False with the system's
// error as the last error (platform::LastError) when any step failed; a write that
// stopped short may have left part of the line.
bool AppendLineDurably(const std::string& path, const std::string& line);

}  // namespace platform
