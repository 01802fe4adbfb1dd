#pragma once
// The loop every "all of it" system call needs: a call a signal interrupted is made again,
// and a short one goes on from where it stopped.

#include <sys/types.h>

#include <cerrno>
#include <cstddef>

namespace platform {

// Calls call(offset, remaining) -> ssize_t until size bytes have gone through it. False when
// a call fails (errno says why) or moves nothing, which counts as no room left (ENOSPC).
// done: the bytes that went through.
template <typename Call>
bool TransferWhole(size_t size, size_t& done, Call call) {
    done = 0;
    while (done < size) {
        const ssize_t n = call(done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace platform
