#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/posix/unique_fd.h"
#include "platform/posix/whole_transfer.h"

namespace platform {
namespace {

FileHandle NativeOpen(const char* path, uint32_t access, uint32_t /*share*/, uint32_t disposition,
                      uint32_t /*flagsAndAttributes*/) {
    // Share modes have no counterpart here: POSIX never locks a file against other opens.
    int flags = O_CLOEXEC;
    const bool reads = (access & kGenericRead) != 0;
    const bool writes = (access & kGenericWrite) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case kCreateNew:
            flags |= O_CREAT | O_EXCL;
            break;
        case kCreateAlways:
            flags |= O_CREAT | O_TRUNC;
            break;
        case kOpenAlways:
            flags |= O_CREAT;
            break;
        case kTruncateExisting:
            flags |= O_TRUNC;
            break;
        case kOpenExisting:
            break;
        default:
            errno = EINVAL;
            return kInvalidFile;
    }
    int fd;
    do {
        fd = ::open(path, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return kInvalidFile;
    }
    UniqueFd owned(fd);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return kInvalidFile;
    }
    return owned.Release();
}

bool NativeRead(FileHandle file, void* data, uint32_t count, uint32_t* done) {
    *done = 0;
    ssize_t n;
    do {
        n = ::read(static_cast<int>(file), data, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return false;
    }
    *done = static_cast<uint32_t>(n);
    return true;
}

bool NativeWrite(FileHandle file, const void* data, uint32_t count, uint32_t* done) {
    // WriteFile on a disk file writes everything or fails; a short write is continued.
    const auto* p = static_cast<const char*>(data);
    size_t written = 0;
    const bool ok = TransferWhole(count, written, [&](size_t at, size_t rest) {
        return ::write(static_cast<int>(file), p + at, rest);
    });
    *done = static_cast<uint32_t>(written);
    return ok;
}

int64_t NativeSeek(FileHandle file, int64_t offset, int origin) {
    const int whence = origin == kFileBegin     ? SEEK_SET
                       : origin == kFileCurrent ? SEEK_CUR
                                                : SEEK_END;
    const off_t pos = ::lseek(static_cast<int>(file), static_cast<off_t>(offset), whence);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

bool NativeClose(FileHandle file) {
    return ::close(static_cast<int>(file)) == 0;
}

int64_t NativeSize(FileHandle file) {
    struct stat st {};
    if (::fstat(static_cast<int>(file), &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

constexpr FileCalls kNative{NativeOpen, NativeRead,  NativeWrite,
                            NativeSeek, NativeClose, NativeSize};

}  // namespace

const FileCalls& NativeFileCalls() {
    return kNative;
}

uint32_t PathTooLongError() {
    return ENAMETOOLONG;
}

}  // namespace platform
