#pragma once
// The number at the start of a profile value, read as GetPrivateProfileIntA reads it.

#include <cstdint>
#include <string>

namespace platform {

// Leading blanks, an optional sign, then decimal digits or "0x" and hexadecimal digits;
// reading stops at the first other character. No digits give 0. Wraps to 32 bits.
int32_t ParseProfileNumber(const std::string& text);

}  // namespace platform
