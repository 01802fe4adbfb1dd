#pragma once
// Random bytes from the operating system's own source, for identifiers that must not repeat.

#include <cstddef>
#include <cstdint>

namespace platform {

// Fills size bytes at out; false when the system's source could not give them all.
bool SystemRandomBytes(uint8_t* out, size_t size);

}  // namespace platform
