// FileObj::fgets over arbitrary bytes: the first byte picks the line size.

#include <cstring>
#include <vector>

#include "image/file_obj.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int lineSize = 1 + data[0] * 3;  // 1 .. 766
    SetMemoryFile(data + 1, size - 1);
    FileObj file;
    if (!file.fopen(kMemoryFileName, platform::kGenericRead, platform::kFileShareRead,
                    platform::kOpenExisting, platform::kFileAttributeNormal, data[0] & 1)) {
        __builtin_trap();
    }
    std::vector<char> line(static_cast<size_t>(lineSize));
    int32_t last = -1;
    int lines = 0;
    while (!file.feof() && file.fgets(line.data(), lineSize) != nullptr) {
        ++lines;
        if (std::strlen(line.data()) > static_cast<size_t>(lineSize - 1)) {
            __builtin_trap();
        }
        // Every line moves the position on, so a scan ends.
        if (file.lPos <= last || file.lPos > static_cast<int32_t>(size - 1)) {
            __builtin_trap();
        }
        if (file.lBufStart > file.lPos || file.lPos > file.lBufEnd || file.nLine != lines) {
            __builtin_trap();
        }
        last = file.lPos;
    }
    if (lineSize > 1 && file.lPos != static_cast<int32_t>(size - 1)) {
        __builtin_trap();
    }
    file.fseek(0);
    if (file.nLine != 0) {
        __builtin_trap();
    }
    return 0;
}
