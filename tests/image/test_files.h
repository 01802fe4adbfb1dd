#pragma once
// Files for the image tests: a private temporary folder, whole-file reads and writes,
// S-record lines with correct checksums, and fault injection through the file table.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace imagetest {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const;

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
std::vector<std::string> DirectoryEntries(const std::string& dir);

// A record line without line ending: type '0'-'9', 'I' or 'V', an address of width
// bytes, the data; count and checksum computed unless given.
std::string Rec(char type, uint32_t address, int width, const std::vector<uint8_t>& data = {});
// The same line with its checksum byte changed.
std::string Damaged(const std::string& line);
// An S1 line with its first data byte's high digit changed and the old checksum kept.
std::string Corrupt(const std::string& line);
std::vector<uint8_t> Bytes(size_t n, uint8_t first = 0);

// Faults the file table can be made to show; Reset() clears them.
struct Faults {
    uint32_t maxRead = 0;       // a read delivers at most this many bytes (0: no limit)
    int failReadAt = -1;        // this read (counted from 0) fails
    uint32_t failReadCode = 0;  // the error code a failed read leaves
    bool failWrite = false;     // writes fail after writing writeLimit bytes
    uint32_t writeLimit = 0;
    uint32_t failWriteCode = 0;
    bool failClose = false;
    int reads = 0;   // reads seen
    int closes = 0;  // successful closes seen
};

// Swaps the file table for one that applies the faults; puts the native one back when
// it goes.
class FaultyFiles {
  public:
    FaultyFiles();
    ~FaultyFiles();
    FaultyFiles(const FaultyFiles&) = delete;
    FaultyFiles& operator=(const FaultyFiles&) = delete;
    Faults& Get();
};

}  // namespace imagetest
