#pragma once
// What the POSIX serial service keeps per open port, shared by its files: the record of
// each port, the registry that finds it by handle, and the wake-up of its event wait.

#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/posix/serial_sys.h"
#include "platform/posix/serial_transport.h"
#include "platform/posix/unique_fd.h"
#include "platform/serial.h"

namespace platform {

struct SerialAsyncState {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

namespace serial_port {

inline const SerialCalls& Sys() {
    return CurrentSerialCalls();
}

// Closes through the table in use, so that a test's table sees every close.
inline int CloseThroughCalls(int fd) {
    return Sys().close(fd);
}
// Gives up the exclusive use taken at the open, then closes.
inline int CloseDevice(int fd) {
    (void)Sys().ioctl(fd, TIOCNXCL, nullptr);
    return Sys().close(fd);
}
using DeviceFd = BasicUniqueFd<CloseDevice>;
using SysFd = BasicUniqueFd<CloseThroughCalls>;

void Signal(SerialAsyncState& state, bool on);

struct Port {
    // Both descriptors live as long as the record: a call still running on another
    // thread when the port is closed keeps using descriptors that are its own.
    DeviceFd device;
    std::unique_ptr<SerialTransport> remote;  // a network port's line, instead of a device
    SysFd wake;  // eventfd that ends a pending poll() of the event wait

    std::mutex mutex;  // guards everything below
    bool closed = false;
    uint32_t eventMask = 0;
    uint64_t maskGeneration = 0;
    uint32_t lastQueued = 0;
    bool txDone = false;
    SerialTimeouts timeouts;
    cc_t vmin = 1;

    // The write in flight: its record, the bytes not yet taken, and the thread that
    // hands them to the device.
    std::shared_ptr<SerialAsyncState> writing;
    std::vector<uint8_t> pending;
    std::thread writer;
    std::atomic<bool> cancelWrite{false};

    int Fd() const { return remote ? remote->Fd() : device.Get(); }
};

// Makes the port findable by its device's descriptor, which is its handle.
SerialHandle Register(std::shared_ptr<Port> port);
// The port of the handle, or null with errno EBADF.
std::shared_ptr<Port> Find(SerialHandle h);
// Takes the port out of the registry: later calls with the handle fail with EBADF.
std::shared_ptr<Port> Unregister(SerialHandle h);

// Ends a pending poll() of the event wait.
void Wake(const Port& port);
void DrainWake(const Port& port);

}  // namespace serial_port
}  // namespace platform
