#pragma once
// Files through the system's own file API (CreateFileA and friends on Win32; open, read,
// lseek, write on POSIX). Every call goes through one replaceable table, so tests can
// force short reads, failed writes and vanished files without touching the disk.

#include <cstdint>

namespace platform {

// A file handle carries the native handle (HANDLE or descriptor); -1 is "none", as the
// invalid handle value of Win32 is.
using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

// The CreateFileA argument values.
inline constexpr uint32_t kGenericRead = 0x80000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;
inline constexpr uint32_t kFileShareRead = 0x00000001;
inline constexpr uint32_t kFileShareWrite = 0x00000002;
inline constexpr uint32_t kCreateNew = 1;
inline constexpr uint32_t kCreateAlways = 2;
inline constexpr uint32_t kOpenExisting = 3;
inline constexpr uint32_t kOpenAlways = 4;
inline constexpr uint32_t kTruncateExisting = 5;
inline constexpr uint32_t kFileAttributeNormal = 0x00000080;

// Origins of FileSeek, with the values of SetFilePointer.
inline constexpr int kFileBegin = 0;
inline constexpr int kFileCurrent = 1;
inline constexpr int kFileEnd = 2;

// The system calls of the file service. Each failure leaves the system's error code as
// the thread's last error (platform::LastError).
struct FileCalls {
    // kInvalidFile on failure. A directory is refused, as CreateFileA refuses it.
    FileHandle (*open)(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                       uint32_t flagsAndAttributes);
    // False on failure; *done receives the bytes moved (0 at the end of the file).
    bool (*read)(FileHandle file, void* data, uint32_t count, uint32_t* done);
    bool (*write)(FileHandle file, const void* data, uint32_t count, uint32_t* done);
    // The new position from the beginning, or -1 on failure.
    int64_t (*seek)(FileHandle file, int64_t offset, int origin);
    bool (*close)(FileHandle file);
    // Size of the file, or -1 on failure.
    int64_t (*size)(FileHandle file);
};

// The table in use. Tests may replace single entries (keeping the old ones to call
// through) and must put the native table back with RestoreFileCalls. The entries are
// plain stores, so swapping them is not safe while a poll thread runs: only while no
// other thread uses a file.
FileCalls& CurrentFileCalls();
const FileCalls& NativeFileCalls();
void RestoreFileCalls();

// The error code the system gives for a path that is too long.
uint32_t PathTooLongError();

inline FileHandle FileOpen(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                           uint32_t flagsAndAttributes) {
    return CurrentFileCalls().open(path, access, share, disposition, flagsAndAttributes);
}
inline bool FileRead(FileHandle file, void* data, uint32_t count, uint32_t* done) {
    return CurrentFileCalls().read(file, data, count, done);
}
inline bool FileWrite(FileHandle file, const void* data, uint32_t count, uint32_t* done) {
    return CurrentFileCalls().write(file, data, count, done);
}
inline int64_t FileSeek(FileHandle file, int64_t offset, int origin) {
    return CurrentFileCalls().seek(file, offset, origin);
}
inline bool FileClose(FileHandle file) {
    return CurrentFileCalls().close(file);
}
inline int64_t FileSize(FileHandle file) {
    return CurrentFileCalls().size(file);
}

}  // namespace platform
