#include "platform/posix/serial_sys.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {
namespace {

int Open(const char* path, int flags) {
    return ::open(path, flags);
}
int Ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}
int EventFd(unsigned initial, int flags) {
    return ::eventfd(initial, flags);
}

constexpr SerialCalls kNative{Open,        ::close,   ::read,  ::write, Ioctl,  ::tcgetattr,
                              ::tcsetattr, ::tcflush, ::flock, ::poll,  EventFd};

}  // namespace

const SerialCalls& NativeSerialCalls() {
    return kNative;
}

}  // namespace platform
