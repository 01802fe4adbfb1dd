// The Win32 event model over a transport: the same mask, generation and "new data" rules
// as on a terminal (serial_events.cpp), with the transport's data count in place of the
// driver's queue and its socket in place of the device.

#include "platform/posix/serial_remote.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "platform/network_port.h"
#include "platform/posix/rfc2217_transport.h"

namespace platform::serial_port {

SerialHandle OpenRemote(const std::string& name) {
    auto port = std::make_shared<Port>();
    port->remote = ConnectRfc2217(name);
    const int failure = port->remote ? 0 : errno;
    NoteNetworkPortFailure(name, static_cast<uint32_t>(failure));
    if (!port->remote) {
        errno = failure;
        return kInvalidSerialHandle;
    }
    port->wake = SysFd(Sys().eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!port->wake) {
        return kInvalidSerialHandle;
    }
    return Register(std::move(port));
}

ssize_t RemoteRead(Port& port, void* buffer, uint32_t count) {
    uint32_t read = 0;
    if (!port.remote->Read(buffer, count, read)) {
        return 0;
    }
    if (read == 0) {
        errno = EAGAIN;
        return -1;
    }
    return static_cast<ssize_t>(read);
}

bool RemoteWrite(Port& port, const void* data, uint32_t count) {
    if (!port.remote->Write(data, count)) {
        return false;
    }
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(port.mutex);
        port.txDone = true;
        wake = (port.eventMask & kEvTxEmpty) != 0;
    }
    if (wake) {
        Wake(port);
    }
    return true;
}

bool RemoteWaitEvent(Port& port, uint32_t& events) {
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(port.mutex);
        generation = port.maskGeneration;
    }
    for (;;) {
        uint32_t queued = 0;
        if (!port.remote->Queued(queued)) {
            return false;
        }
        uint32_t found = 0;
        {
            std::lock_guard<std::mutex> lock(port.mutex);
            if (port.closed) {
                errno = EBADF;
                return false;
            }
            if (port.maskGeneration != generation) {
                events = 0;
                return true;
            }
            if ((port.eventMask & kEvRxChar) != 0 && queued > port.lastQueued) {
                found |= kEvRxChar;
            }
            port.lastQueued = queued;
            if ((port.eventMask & kEvTxEmpty) != 0 && port.txDone) {
                found |= kEvTxEmpty;
                port.txDone = false;
            }
        }
        if (found != 0) {
            events = found;
            return true;
        }
        // What the socket held is taken in: it is readable again only with news, or for
        // good once the connection has ended.
        pollfd fds[2] = {{port.wake.Get(), POLLIN, 0}, {port.Fd(), POLLIN, 0}};
        if (Sys().poll(fds, port.remote->Gone() ? 1 : 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            DrainWake(port);
        }
    }
}

SerialWaitResult RemoteWaitData(Port& port, uint32_t count, uint32_t ms, int uiWake) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        port.remote->TakeArrival();
        uint32_t queued = 0;
        if (!port.remote->Queued(queued)) {
            return SerialWaitResult::Failed;
        }
        if (queued >= count) {
            return SerialWaitResult::Data;
        }
        if (port.remote->Gone()) {
            errno = EIO;
            return SerialWaitResult::Failed;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return SerialWaitResult::Timeout;
        }
        // The event wait may take in what arrives; it then tells through ArrivalFd().
        pollfd fds[3] = {
            {port.Fd(), POLLIN, 0}, {port.remote->ArrivalFd(), POLLIN, 0}, {uiWake, POLLIN, 0}};
        const int ready = Sys().poll(fds, uiWake >= 0 ? 3 : 2,
                                     static_cast<int>(std::min<int64_t>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR) {
            return SerialWaitResult::Failed;
        }
        if (ready > 0 && ((fds[0].revents | fds[1].revents) & POLLIN) == 0 &&
            (fds[2].revents & POLLIN) != 0) {
            return SerialWaitResult::Interface;
        }
    }
}

}  // namespace platform::serial_port
