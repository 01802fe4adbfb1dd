#pragma once
// A software version value (major in bits 31-24, minor in 23-16, build in 15-0) as the
// records, the JSON output and the refusal of an older version write it.

#include <cstdint>
#include <optional>
#include <string>

inline constexpr uint32_t kNoVersionValue = 0xFFFFFFFF;

// "1.03.7"; none for the value that stands for no version.
std::optional<std::string> VersionText(uint32_t value);
