#include "platform/file.h"

#include <windows.h>

namespace platform {
namespace {

HANDLE Native(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

FileHandle NativeOpen(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                      uint32_t flagsAndAttributes) {
    HANDLE h =
        ::CreateFileA(path, access, share, nullptr, disposition, flagsAndAttributes, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

bool NativeRead(FileHandle file, void* data, uint32_t count, uint32_t* done) {
    DWORD got = 0;
    const BOOL ok = ::ReadFile(Native(file), data, count, &got, nullptr);
    *done = got;
    return ok != FALSE;
}

bool NativeWrite(FileHandle file, const void* data, uint32_t count, uint32_t* done) {
    DWORD put = 0;
    const BOOL ok = ::WriteFile(Native(file), data, count, &put, nullptr);
    *done = put;
    return ok != FALSE;
}

int64_t NativeSeek(FileHandle file, int64_t offset, int origin) {
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD method = origin == kFileBegin     ? FILE_BEGIN
                         : origin == kFileCurrent ? FILE_CURRENT
                                                  : FILE_END;
    ::SetLastError(NO_ERROR);
    const DWORD low =
        ::SetFilePointer(Native(file), static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) {
        return -1;
    }
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low);
}

bool NativeClose(FileHandle file) {
    return ::CloseHandle(Native(file)) != FALSE;
}

int64_t NativeSize(FileHandle file) {
    DWORD high = 0;
    ::SetLastError(NO_ERROR);
    const DWORD low = ::GetFileSize(Native(file), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
        return -1;
    }
    return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

constexpr FileCalls kNative{NativeOpen, NativeRead,  NativeWrite,
                            NativeSeek, NativeClose, NativeSize};

}  // namespace

const FileCalls& NativeFileCalls() {
    return kNative;
}

uint32_t PathTooLongError() {
    return ERROR_FILENAME_EXCED_RANGE;
}

}  // namespace platform
