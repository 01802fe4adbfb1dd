#include "update/version_text.h"

#include <cstdio>

std::optional<std::string> VersionText(uint32_t value) {
    if (value == kNoVersionValue) {
        return std::nullopt;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%u.%02u.%u", value >> 24, value >> 16 & 0xFF, value & 0xFFFF);
    return std::string(text);
}
