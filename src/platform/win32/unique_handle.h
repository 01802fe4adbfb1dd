#pragma once
// One owner for a Win32 handle. A service whose system calls go through a replaceable
// table names its own closer, so a test's table sees every close. Both "no handle"
// values of the system (null and INVALID_HANDLE_VALUE) count as empty.

#include <windows.h>

namespace platform {

inline BOOL CloseSystemHandle(HANDLE h) {
    return ::CloseHandle(h);
}

template <BOOL (*CloseFn)(HANDLE)>
class BasicUniqueHandle {
  public:
    BasicUniqueHandle() = default;
    explicit BasicUniqueHandle(HANDLE h) : h_(h) {}
    BasicUniqueHandle(BasicUniqueHandle&& other) noexcept : h_(other.Release()) {}
    BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    BasicUniqueHandle(const BasicUniqueHandle&) = delete;
    BasicUniqueHandle& operator=(const BasicUniqueHandle&) = delete;
    ~BasicUniqueHandle() { Reset(); }

    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

    // Gives the handle up without closing it.
    HANDLE Release() {
        HANDLE h = h_;
        h_ = nullptr;
        return h;
    }

    // Closes what is held, keeping the thread's last error: a cleanup on the way out of
    // a failure must not replace its cause.
    void Reset(HANDLE h = nullptr) {
        if (*this) {
            const DWORD saved = ::GetLastError();
            (void)CloseFn(h_);
            ::SetLastError(saved);
        }
        h_ = h;
    }

    // Closes now and reports the close itself (last error as it left it); true when
    // nothing was held.
    bool Close() {
        HANDLE h = Release();
        return h == nullptr || h == INVALID_HANDLE_VALUE || CloseFn(h) != FALSE;
    }

  private:
    HANDLE h_ = nullptr;
};

using UniqueHandle = BasicUniqueHandle<CloseSystemHandle>;

}  // namespace platform
