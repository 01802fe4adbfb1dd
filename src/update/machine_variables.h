#pragma once
// The machine's variables that the update and the About box read and write.

#include <cstdint>

inline constexpr int kVariableVersion = 0;    // major * 100 + minor
inline constexpr int kVariableDayMonth = 60;  // month * 256 + day of the last update
inline constexpr int kVariableYear = 61;      // year of the last update
inline constexpr int kVariableCount = 62;     // updates performed so far
inline constexpr int kVariableBuild = 2384;   // third number of the software version
inline constexpr int kVariableSerial = 2398;  // serial number, signed

// A variable's value before it was ever written; counts as 0 or as no value.
inline constexpr uint16_t kNeverWritten = 0xFFFF;

// The machine's software version from its version and build variables: major in bits
// 31-24, minor in 23-16, build in 15-0.
constexpr uint32_t MachineVersionValue(uint16_t version, uint16_t build) {
    return (version / 100u & 0xFF) << 24 | (version % 100u) << 16 | build;
}
