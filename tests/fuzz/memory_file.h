#pragma once
// The fuzz input as the one file the file table knows, so that every execution reads its
// input through FileObj without touching the disk.

#include <cstddef>
#include <cstdint>

inline constexpr const char* kMemoryFileName = "fuzz-input.mot";

// Puts the bytes behind kMemoryFileName (other paths go to the disk as usual) and
// installs the table on first use.
void SetMemoryFile(const uint8_t* data, size_t size);
