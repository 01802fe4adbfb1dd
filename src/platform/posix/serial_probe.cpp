#include "platform/serial_probe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/network_port.h"
#include "platform/posix/rfc2217_transport.h"
#include "platform/posix/unique_fd.h"
#include "platform/serial.h"

namespace platform {

bool SerialProbe(const std::string& portName, SerialProbeAccess access) {
    const std::string path = SerialDevicePath(portName);
    if (IsNetworkPortName(path)) {
        // A network port can be had when its server accepts us now.
        return ConnectRfc2217(path) != nullptr;
    }
    const int flags = (access == SerialProbeAccess::ReadOnly ? O_RDONLY : O_RDWR) | O_NOCTTY |
                      O_NONBLOCK | O_CLOEXEC;
    const UniqueFd fd(::open(path.c_str(), flags));
    if (!fd) {
        return false;
    }
    // SerialOpen holds its ports with an exclusive lock; a port held so is another
    // program's, as a shared open of a held port fails on Windows.
    return ::isatty(fd.Get()) == 1 && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0;
}

}  // namespace platform
