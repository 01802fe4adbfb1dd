#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/posix/unique_fd.h"

namespace platform {

ReadResult ReadWholeFile(const std::string& path, std::string& data) {
    data.clear();
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Error;
    }
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return ReadResult::Error;
        }
        if (n == 0) {
            break;
        }
        data.append(chunk, static_cast<size_t>(n));
    }
    return ReadResult::Ok;
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

bool WriteFileAtomically(const std::string& path, const std::string& data) {
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
    bool ok = true;
    while (done < data.size()) {
        const ssize_t n = ::write(fd.Get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = ok && ::fchmod(fd.Get(), 0644) == 0 && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const UniqueFd dfd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dfd) {
        ::fsync(dfd.Get());
    }
    return true;
}

bool AppendLineDurably(const std::string& path, const std::string& line) {
    const size_t cut = path.find_last_of('/');
    if (cut != std::string::npos && cut > 0 && !MakeDirectories(path.substr(0, cut))) {
        return false;
    }
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) {
        return false;
    }
    // One write with O_APPEND moves to the end and writes as one step, so lines of
    // other writers land before or after this one, never inside it. A retry after a
    // short write could interleave, so a short write counts as a failure.
    ssize_t n = -1;
    do {
        n = ::write(fd.Get(), line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return false;
    }
    if (static_cast<size_t>(n) != line.size()) {
        errno = ENOSPC;
        return false;
    }
    if (::fsync(fd.Get()) != 0) {
        return false;
    }
    return fd.Close();
}

}  // namespace platform
