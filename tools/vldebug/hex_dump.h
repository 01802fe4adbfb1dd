#pragma once
// The rows of a hex dump: 16 bytes each, headed by their offset or address, followed by
// the bytes as text.

#include <cstdint>
#include <string>

namespace vldebug {

inline constexpr unsigned kBytesPerRow = 16;

enum class RowHead {
    Offset,   // position inside the dump, at least four hex digits
    Address,  // running address, eight hex digits, wrapping at 2^32
};

// Appends one line per row, each ending in '\n', to out. first is the offset or address of
// the first byte.
void AppendHexRows(std::string& out, const uint8_t* data, size_t count, RowHead head,
                   uint32_t first);

}  // namespace vldebug
