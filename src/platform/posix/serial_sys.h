#pragma once
// Every system call of the POSIX serial service goes through this table, so tests can
// force short writes, stalls, errors and a vanished device. Each entry has the system
// call's own result and errno convention. Switching tables: platform/serial_calls.h.

#include <poll.h>
#include <sys/types.h>
#include <termios.h>

#include "platform/serial_calls.h"

namespace platform {

struct SerialCalls {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buffer, size_t count);
    ssize_t (*write)(int fd, const void* data, size_t count);
    int (*ioctl)(int fd, unsigned long request, void* argument);
    int (*tcgetattr)(int fd, struct termios* tio);
    int (*tcsetattr)(int fd, int when, const struct termios* tio);
    int (*tcflush)(int fd, int queue);
    int (*flock)(int fd, int operation);
    int (*poll)(struct pollfd* fds, nfds_t count, int timeoutMs);
    int (*eventfd)(unsigned initial, int flags);
};

}  // namespace platform
