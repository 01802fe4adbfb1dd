// SRecordDecode and SRecordGetDataByte over arbitrary lines.

#include <cstring>
#include <string>

#include "image/srecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);  // cut at a NUL
    uint8_t buffer[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    const int result = SRecordDecode(line.c_str(), buffer, address, count);
    if (result > 1 || result < -10 || result == 0 || result == -1) {
        __builtin_trap();
    }
    if (count > kSRecordDataSize - 3) {
        __builtin_trap();
    }
    if (result == kSRecordData) {
        const int width = line[1] - '0' + 1;
        if (width < 4 && address >> (8 * width) != 0) {
            __builtin_trap();
        }
        if (std::strlen(line.c_str()) < 4 + 2 * (width + count + 1)) {
            __builtin_trap();
        }
        if (SRecordGetDataByte(line.c_str(), static_cast<int>(count) - 1) !=
            (count > 0 ? buffer[count - 1] : -1)) {
            __builtin_trap();
        }
    } else if (result == kSRecordVersion && count < 4) {
        __builtin_trap();
    }
    // A small buffer is refused, never overrun.
    uint8_t small[8];
    SRecordDecode(line.c_str(), small, address, count);
    if (count > sizeof small) {
        __builtin_trap();
    }
    return 0;
}
