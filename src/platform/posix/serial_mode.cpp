// The mode text of a serial line, read as the Win32 call that builds a device-control
// block reads it: "baud=%d parity=%c data=%d stop=%s", each key optional, any order.

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/serial.h"

namespace platform {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

bool ParseNumber(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    uint32_t v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    value = v;
    return true;
}

bool Apply(const std::string& key, const std::string& value, DeviceControl& dcb) {
    if (key == "baud") {
        uint32_t rate = 0;
        if (!ParseNumber(value, rate) || rate == 0) {
            return false;
        }
        dcb.BaudRate = rate;
        return true;
    }
    if (key == "parity") {
        static constexpr char kLetters[] = "noems";
        if (value.size() != 1) {
            return false;
        }
        for (uint8_t i = 0; i < 5; ++i) {
            if (value[0] == kLetters[i]) {
                dcb.Parity = i;
                return true;
            }
        }
        return false;
    }
    if (key == "data") {
        uint32_t bits = 0;
        if (!ParseNumber(value, bits) || bits < 5 || bits > 8) {
            return false;
        }
        dcb.ByteSize = static_cast<uint8_t>(bits);
        return true;
    }
    if (key == "stop") {
        if (value == "1") {
            dcb.StopBits = kOneStopBit;
        } else if (value == "1.5") {
            dcb.StopBits = kOne5StopBits;
        } else if (value == "2") {
            dcb.StopBits = kTwoStopBits;
        } else {
            return false;
        }
        return true;
    }
    return false;
}

}  // namespace

bool SerialBuildDeviceControl(const char* mode, DeviceControl& dcb) {
    if (mode == nullptr) {
        errno = EINVAL;
        return false;
    }
    DeviceControl built = dcb;
    const std::string text = Lower(mode);
    size_t pos = 0;
    bool any = false;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        size_t end = pos;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t') {
            ++end;
        }
        const std::string token = text.substr(pos, end - pos);
        pos = end;
        const size_t eq = token.find('=');
        if (eq == std::string::npos || !Apply(token.substr(0, eq), token.substr(eq + 1), built)) {
            errno = EINVAL;
            return false;
        }
        any = true;
    }
    if (!any) {
        errno = EINVAL;
        return false;
    }
    built.fBinary = 1;
    dcb = built;
    return true;
}

}  // namespace platform
