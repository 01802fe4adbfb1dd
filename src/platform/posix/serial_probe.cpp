#include "platform/serial_probe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/serial.h"

namespace platform {

bool SerialProbe(const std::string& portName, SerialProbeAccess access) {
    const std::string path = SerialDevicePath(portName);
    const int flags = (access == SerialProbeAccess::ReadOnly ? O_RDONLY : O_RDWR) | O_NOCTTY |
                      O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        return false;
    }
    // SerialOpen holds its ports with an exclusive lock; a port held so is another
    // program's, as a shared open of a held port fails on Windows.
    bool free = ::isatty(fd) == 1 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (free) {
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return free;
}

}  // namespace platform
