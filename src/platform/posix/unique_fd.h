#pragma once
// One owner for a file descriptor. A service whose system calls go through a
// replaceable table names its own closer, so a test's table sees every close.

#include <unistd.h>

#include <cerrno>

namespace platform {

inline int CloseDescriptor(int fd) {
    return ::close(fd);
}

template <int (*CloseFn)(int)>
class BasicUniqueFd {
  public:
    BasicUniqueFd() = default;
    explicit BasicUniqueFd(int fd) : fd_(fd) {}
    BasicUniqueFd(BasicUniqueFd&& other) noexcept : fd_(other.Release()) {}
    BasicUniqueFd& operator=(BasicUniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    BasicUniqueFd(const BasicUniqueFd&) = delete;
    BasicUniqueFd& operator=(const BasicUniqueFd&) = delete;
    ~BasicUniqueFd() { Reset(); }

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // Gives the descriptor up without closing it.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

    // Closes what is held, keeping errno: a cleanup on the way out of a failure must
    // not replace its cause.
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            const int saved = errno;
            (void)CloseFn(fd_);
            errno = saved;
        }
        fd_ = fd;
    }

    // Closes now and reports the close itself (errno as it left it); true when nothing
    // was held.
    bool Close() {
        const int fd = Release();
        return fd < 0 || CloseFn(fd) == 0;
    }

  private:
    int fd_ = -1;
};

using UniqueFd = BasicUniqueFd<CloseDescriptor>;

}  // namespace platform
