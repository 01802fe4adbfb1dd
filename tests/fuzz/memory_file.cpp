#include "memory_file.h"

#include <algorithm>
#include <cstring>

#include "platform/file.h"

namespace {

constexpr platform::FileHandle kMemoryHandle = 0x7FFF0001;
const uint8_t* gData = nullptr;
size_t gSize = 0;
size_t gPos = 0;
bool gInstalled = false;

platform::FileHandle Open(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                          uint32_t flags) {
    if (std::strcmp(path, kMemoryFileName) == 0) {
        gPos = 0;
        return kMemoryHandle;
    }
    return platform::NativeFileCalls().open(path, access, share, disposition, flags);
}

bool Read(platform::FileHandle file, void* data, uint32_t count, uint32_t* done) {
    if (file != kMemoryHandle) {
        return platform::NativeFileCalls().read(file, data, count, done);
    }
    const size_t n = gPos < gSize ? std::min<size_t>(count, gSize - gPos) : 0;
    std::memcpy(data, gData + gPos, n);
    gPos += n;
    *done = static_cast<uint32_t>(n);
    return true;
}

bool Write(platform::FileHandle file, const void* data, uint32_t count, uint32_t* done) {
    if (file != kMemoryHandle) {
        return platform::NativeFileCalls().write(file, data, count, done);
    }
    *done = 0;
    return false;
}

int64_t Seek(platform::FileHandle file, int64_t offset, int origin) {
    if (file != kMemoryHandle) {
        return platform::NativeFileCalls().seek(file, offset, origin);
    }
    const int64_t base = origin == platform::kFileBegin     ? 0
                         : origin == platform::kFileCurrent ? static_cast<int64_t>(gPos)
                                                            : static_cast<int64_t>(gSize);
    if (base + offset < 0) {
        return -1;
    }
    gPos = static_cast<size_t>(base + offset);
    return static_cast<int64_t>(gPos);
}

bool Close(platform::FileHandle file) {
    return file == kMemoryHandle || platform::NativeFileCalls().close(file);
}

int64_t Size(platform::FileHandle file) {
    return file == kMemoryHandle ? static_cast<int64_t>(gSize)
                                 : platform::NativeFileCalls().size(file);
}

}  // namespace

void SetMemoryFile(const uint8_t* data, size_t size) {
    if (!gInstalled) {
        platform::CurrentFileCalls() = {Open, Read, Write, Seek, Close, Size};
        gInstalled = true;
    }
    gData = data;
    gSize = size;
    gPos = 0;
}
