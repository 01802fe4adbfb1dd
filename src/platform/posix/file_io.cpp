#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/whole_transfer.h"

namespace platform {

namespace {

// O_NONBLOCK: opening a FIFO or a device must not wait for its other end; on a regular
// file the flag changes nothing.
constexpr int kOpenWithoutWaiting = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

bool IsRegularFile(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Appenders of the record file take this lock around their write and its repair, so that
// cutting back a failed write never cuts another's line. Holders keep it for one write and
// flush; a lock that stays taken longer than this belongs to a stuck program.
constexpr uint32_t kAppendLockWaitMs = 10000;

bool LockForAppend(int fd) {
    const uint32_t start = MonotonicMs();
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            // A file system without locks: appending stays one write, only the repair of
            // a failed one could race.
            return true;
        }
        if (MonotonicMs() - start >= kAppendLockWaitMs) {
            return false;
        }
        SleepMs(2);
    }
    return true;
}

bool WriteOnce(int fd, const std::string& data) {
    ssize_t n = -1;
    do {
        n = ::write(fd, data.data(), data.size());
    } while (n < 0 && errno == EINTR);
    if (n >= 0 && static_cast<size_t>(n) != data.size()) {
        errno = ENOSPC;
    }
    return n >= 0 && static_cast<size_t>(n) == data.size();
}

// Hands what fd holds to take, piece by piece, until its end or until take wants no more.
ReadResult ReadUntilEnd(int fd, const std::function<bool(std::string_view)>& take) {
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return ReadResult::Error;
        }
        if (n == 0 || !take(std::string_view(chunk, static_cast<size_t>(n)))) {
            return ReadResult::Ok;
        }
    }
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& data) {
    data.clear();
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Error;
    }
    return ReadUntilEnd(fd.Get(), [&data](std::string_view piece) {
        data.append(piece);
        return true;
    });
}

ReadResult ReadFileInPieces(const std::string& path,
                            const std::function<bool(std::string_view)>& take, uint64_t from) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | kOpenWithoutWaiting));
    if (!fd) {
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Error;
    }
    if (!IsRegularFile(fd.Get())) {
        return ReadResult::NotRegularFile;
    }
    if (from > 0 && ::lseek(fd.Get(), static_cast<off_t>(from), SEEK_SET) < 0) {
        return ReadResult::Error;
    }
    return ReadUntilEnd(fd.Get(), take);
}

bool MakeDirectories(const std::string& path) {
    if (path.empty()) {
        return true;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const size_t cut = path.find_last_of('/');
    if (cut != std::string::npos && cut > 0 && !MakeDirectories(path.substr(0, cut))) {
        return false;
    }
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool WriteFileAtomically(const std::string& path, const std::string& data, bool durable) {
    const size_t cut = path.find_last_of('/');
    const std::string dir = cut == std::string::npos ? "." : path.substr(0, cut);
    if (!MakeDirectories(dir)) {
        return false;
    }
    std::string temp = path + ".tmpXXXXXX";
    UniqueFd fd(::mkstemp(temp.data()));
    if (!fd) {
        return false;
    }
    size_t done = 0;
    bool ok = TransferWhole(data.size(), done, [&](size_t at, size_t rest) {
        return ::write(fd.Get(), data.data() + at, rest);
    });
    ok = ok && ::fchmod(fd.Get(), 0644) == 0 && (!durable || ::fsync(fd.Get()) == 0);
    ok = fd.Close() && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const UniqueFd dfd(durable ? ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    if (dfd) {
        ::fsync(dfd.Get());
    }
    return true;
}

AppendResult AppendLineDurably(const std::string& path, const std::string& line) {
    const size_t cut = path.find_last_of('/');
    if (cut != std::string::npos && cut > 0 && !MakeDirectories(path.substr(0, cut))) {
        return AppendResult::Failed;
    }
    // Read access only to see the file's last byte; a file we may only write is still written.
    const int flags = O_APPEND | O_CREAT | kOpenWithoutWaiting;
    bool readable = true;
    UniqueFd fd(::open(path.c_str(), O_RDWR | flags, 0644));
    if (!fd && errno == EACCES) {
        readable = false;
        fd.Reset(::open(path.c_str(), O_WRONLY | flags, 0644));
    }
    if (!fd) {
        // ENXIO: a FIFO that nobody reads, or a device without its driver.
        return errno == ENXIO ? AppendResult::NotRegularFile : AppendResult::Failed;
    }
    if (!IsRegularFile(fd.Get())) {
        return AppendResult::NotRegularFile;
    }
    if (!LockForAppend(fd.Get())) {
        return AppendResult::Failed;
    }
    struct stat before {};
    if (::fstat(fd.Get(), &before) != 0) {
        return AppendResult::Failed;
    }
    // A line left without its end (by an older program, or an editor) must not swallow
    // the start of this one.
    std::string data;
    char last = '\n';
    if (readable && before.st_size > 0 && ::pread(fd.Get(), &last, 1, before.st_size - 1) == 1 &&
        last != '\n') {
        data.push_back('\n');
    }
    data += line;
    // One write with O_APPEND moves to the end and writes as one step, so lines of
    // other writers land before or after this one, never inside it. A retry after a
    // short write could interleave, so a short write counts as a failure.
    if (!WriteOnce(fd.Get(), data) || ::fsync(fd.Get()) != 0) {
        const int error = errno;
        if (::ftruncate(fd.Get(), before.st_size) == 0) {
            ::fsync(fd.Get());
        }
        errno = error;
        return AppendResult::Failed;
    }
    return fd.Close() ? AppendResult::Ok : AppendResult::Failed;
}

}  // namespace platform
