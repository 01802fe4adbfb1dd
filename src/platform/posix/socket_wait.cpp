#include "platform/socket_wait.h"

#include <poll.h>

#include <cerrno>

namespace platform {

SocketReadiness WaitForSocket(int fd, bool read, bool write, int timeoutMs) {
    SocketReadiness readiness;
    pollfd entry{fd, static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0)), 0};
    int n = 0;
    do {
        n = ::poll(&entry, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        readiness.failed = true;
    } else if (n == 0) {
        readiness.timedOut = true;
    } else {
        // An error or a hang-up is for the library to read and report.
        const bool broken = (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        readiness.readable = (entry.revents & POLLIN) != 0 || (broken && read);
        readiness.writable = (entry.revents & POLLOUT) != 0 || (broken && write);
    }
    return readiness;
}

}  // namespace platform
