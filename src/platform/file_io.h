#pragma once
// Whole-file helpers for small files (settings, profiles, the update records).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// NotRegularFile only from ReadFileInPieces.
enum class ReadResult { Ok, Missing, Error, NotRegularFile };

ReadResult ReadWholeFile(const std::string& path, std::string& data);

// Hands a file's bytes to take in pieces, in order, until its end or until take returns
// false, so that a file of any size is read in bounded memory. The open never waits, and
// anything but a regular file (a FIFO, a device such as /dev/zero) is refused before a
// byte is read. from: the offset of the first byte to hand on.
ReadResult ReadFileInPieces(const std::string& path,
                            const std::function<bool(std::string_view)>& take, uint64_t from = 0);

// Creates the directory and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Writes data to path atomically: a crash leaves the old file or the new one. durable:
// the new one is on the disk when this returns; without, a crash may leave the old one,
// for a file where the old one is as good (a note of progress that may lag).
bool WriteFileAtomically(const std::string& path, const std::string& data, bool durable = true);

enum class AppendResult { Ok, NotRegularFile, Failed };

// Appends line (a complete line, its end included) to path with one write to the file
// opened for appending, then flushes it to the disk; the folder is created first. The
// open never waits, and only a regular file is written. Two processes appending at once
// never interleave their lines. A line after one that lacks its end starts on a line of
// its own. Failed, with the system's error as the last error (platform::LastError), when
// any step failed; the file is then cut back to what it held before, so that a write that
// stopped short (a full disk) leaves no piece of the line.
AppendResult AppendLineDurably(const std::string& path, const std::string& line);

}  // namespace platform
