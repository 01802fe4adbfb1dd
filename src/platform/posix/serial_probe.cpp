#include "platform/serial_probe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/network_port.h"
#include "platform/posix/unique_fd.h"
#include "platform/serial.h"

namespace platform {

bool SerialProbe(const std::string& portName, SerialProbeAccess access) {
    const std::string path = SerialDevicePath(portName);
    if (IsNetworkPortName(path)) {
        // Only a well-formed name is checked. A connection made just to look would be
        // followed at once by the real one, and a device server still closing the first
        // session (ser2net does) refuses the second: the search would then miss the
        // machine. An unreachable server fails the real open, with its own message.
        NetworkAddress address;
        return ParseNetworkPortName(path, address);
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
