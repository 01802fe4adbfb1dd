#include "support/utils.h"

#include <array>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/network_port.h"
#include "platform/string_resources.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"

uint32_t GetTimeMs() {
    return platform::MonotonicMs();
}

bool PumpMessages(unsigned limit) {
    // The dispatch itself finds out whether any message is pending: a look of its own
    // before it costs the Win32 program a second round trip to the window system.
    const unsigned dispatched = FrontEndDispatchMessages(limit);
    if (dispatched == 0) {
        platform::YieldTimeSlice();
    }
    return dispatched > limit;
}

char* CopyString(char* dest, const char* src, int size, int count) {
    if (count == -1) {
        count = size;
    }
    if (count > size) {
        count = size;
    }
    if (count < 1) {
        if (size > 0) {
            dest[0] = '\0';
        }
        return dest;
    }
    // min(count, size + 1) - 1 characters, which with count <= size is count - 1
    const size_t limit = static_cast<size_t>(count - 1);
    size_t n = 0;
    while (n < limit && src[n] != '\0') {
        dest[n] = src[n];
        ++n;
    }
    dest[n] = '\0';
    dest[count - 1] = '\0';
    return dest;
}

void AppendString(char* dest, const char* src, int size) {
    if (size <= 0) {
        return;
    }
    const size_t have = strnlen(dest, static_cast<size_t>(size));
    if (have >= static_cast<size_t>(size)) {
        return;
    }
    size_t pos = have;
    while (pos < static_cast<size_t>(size) - 1 && *src != '\0') {
        dest[pos++] = *src++;
    }
    std::memset(dest + pos, 0, static_cast<size_t>(size) - pos);
}

char* CutAtChar(char* text, char c) {
    char* found = std::strchr(text, c);
    if (found == nullptr || c == '\0') {
        return nullptr;
    }
    *found = '\0';
    return found;
}

const char* GetFileNamePart(const char* path) {
    const char* part = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') {
            part = p + 1;
        }
    }
    return part;
}

bool MatchPattern(const char* text, const char* pattern) {
    if (pattern == nullptr) {
        return true;
    }
    for (size_t i = 0; pattern[i] != '\0'; ++i) {
        if (pattern[i] == '*') {
            return true;
        }
        if (text[i] == '\0') {
            return false;
        }
        if (pattern[i] != '?' && pattern[i] != text[i]) {
            return false;
        }
    }
    return true;
}

namespace {

// Eight tables for slicing-by-8; table 0 is the classic byte-wise table.
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i;
            for (int k = 0; k < 8; ++k) {
                r = (r & 1U) ? (r >> 1) ^ 0xEDB88320U : r >> 1;
            }
            t[0][i] = r;
        }
        for (uint32_t i = 0; i < 256; ++i) {
            for (size_t s = 1; s < 8; ++s) {
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFU];
            }
        }
    }
};

const CrcTables& Tables() {
    static const CrcTables tables;
    return tables;
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) {
    const auto& t = Tables().t;
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t r = ~crc;
    while (length >= 8) {
        const uint32_t lo = r ^ (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                 uint32_t{p[3]} << 24);
        r = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        length -= 8;
    }
    while (length-- > 0) {
        r = t[0][(r ^ *p++) & 0xFFU] ^ (r >> 8);
    }
    return ~r;
}

uint32_t Crc32(const void* data, size_t length) {
    return Crc32Update(0, data, length);
}

void XorBuffer(void* data, uint8_t value, size_t length) {
    auto* p = static_cast<uint8_t*>(data);
    for (size_t i = 0; i < length; ++i) {
        p[i] ^= value;
    }
}

namespace {

// The system's text for the code; the network port's own codes speak the run's language.
std::string SystemText(uint32_t code) {
    if (const unsigned id = platform::NetworkPortErrorTextId(code); id != 0) {
        char text[kLoadTextSize + 1];
        platform::LoadStringResource(id + static_cast<unsigned>(nLanguageOffset), text,
                                     sizeof text);
        return text;
    }
    return platform::SystemMessage(code);
}

}  // namespace

const char* GetSystemErrorText(uint32_t code) {
    // One buffer per thread: the poll thread's traces must not garble the main thread's
    // error box.
    thread_local char buffer[255];
    const std::string text = SystemText(code);
    CopyString(buffer, text.c_str(), sizeof buffer);
    size_t n = std::strlen(buffer);
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) {
        buffer[--n] = '\0';
    }
    return buffer;
}

void ShowSystemError(const char* caption, uint32_t code) {
    const std::string text = SystemText(code);
    if (text.empty()) {
        return;
    }
    FrontEndMessageBox(hMainWnd, text.c_str(), caption, kMbOk | kMbIconError);
}
