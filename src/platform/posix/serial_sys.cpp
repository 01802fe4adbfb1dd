#include "platform/posix/serial_sys.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <atomic>

namespace platform::serial_sys {
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

constexpr Table kDefaults{Open,        ::close,   ::read,  ::write, Ioctl,  ::tcgetattr,
                          ::tcsetattr, ::tcflush, ::flock, ::poll,  EventFd};

std::atomic<const Table*> gCurrent{&kDefaults};

}  // namespace

const Table& Current() {
    return *gCurrent.load(std::memory_order_acquire);
}
const Table& Defaults() {
    return kDefaults;
}
void Install(const Table* table) {
    gCurrent.store(table, std::memory_order_release);
}
void Restore() {
    gCurrent.store(&kDefaults, std::memory_order_release);
}

}  // namespace platform::serial_sys
