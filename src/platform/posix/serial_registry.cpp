// The open ports by handle, and the signals between a port's threads.

#include <cerrno>
#include <map>

#include "platform/posix/serial_port.h"

namespace platform::serial_port {
namespace {

std::mutex gPortsMutex;
std::map<int, std::shared_ptr<Port>>& Ports() {
    static std::map<int, std::shared_ptr<Port>> ports;
    return ports;
}

std::shared_ptr<Port> Lookup(SerialHandle h, bool take) {
    std::lock_guard<std::mutex> lock(gPortsMutex);
    auto it = Ports().find(static_cast<int>(h));
    if (it == Ports().end()) {
        errno = EBADF;
        return nullptr;
    }
    if (!take) {
        return it->second;
    }
    std::shared_ptr<Port> port = std::move(it->second);
    Ports().erase(it);
    return port;
}

}  // namespace

void Signal(SerialAsyncState& state, bool on) {
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.signalled = on;
    }
    state.changed.notify_all();
}

SerialHandle Register(std::shared_ptr<Port> port) {
    // A descriptor stays open until its record goes, so no later port can share its number.
    const int fd = port->Fd();
    std::lock_guard<std::mutex> lock(gPortsMutex);
    Ports()[fd] = std::move(port);
    return fd;
}

std::shared_ptr<Port> Find(SerialHandle h) {
    return Lookup(h, false);
}

std::shared_ptr<Port> Unregister(SerialHandle h) {
    return Lookup(h, true);
}

void Wake(const Port& port) {
    const uint64_t one = 1;
    (void)Sys().write(port.wake.Get(), &one, sizeof one);
}

void DrainWake(const Port& port) {
    uint64_t count = 0;
    (void)Sys().read(port.wake.Get(), &count, sizeof count);
}

}  // namespace platform::serial_port
