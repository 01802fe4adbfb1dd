#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

bool SystemRandomBytes(uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::getrandom(out + done, size - done, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace platform
