// The Win32 event model on a terminal: an event mask whose change ends a pending event
// wait, "characters arrived" and "transmitter empty" told from the queue counts and the
// writer, and a wait for data that sleeps until a whole answer is queued.

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/posix/serial_port.h"
#include "platform/posix/serial_remote.h"
#include "platform/serial.h"

namespace platform {

using serial_port::DrainWake;
using serial_port::Find;
using serial_port::Port;
using serial_port::Sys;
using serial_port::Wake;

namespace {

void SetVmin(Port& port, cc_t vmin) {
    termios tio{};
    if (Sys().tcgetattr(port.Fd(), &tio) == 0) {
        tio.c_cc[VMIN] = vmin;
        tio.c_cc[VTIME] = 0;
        (void)Sys().tcsetattr(port.Fd(), TCSANOW, &tio);
    }
    port.vmin = vmin;
}

}  // namespace

bool SerialGetEventMask(SerialHandle h, uint32_t& mask) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    std::lock_guard<std::mutex> lock(port->mutex);
    mask = port->eventMask;
    return true;
}

bool SerialSetEventMask(SerialHandle h, uint32_t mask) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(port->mutex);
        port->eventMask = mask;
        ++port->maskGeneration;
    }
    Wake(*port);
    return true;
}

bool SerialWaitEvent(SerialHandle h, uint32_t& events) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    if (port->remote) {
        return serial_port::RemoteWaitEvent(*port, events);
    }
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(port->mutex);
        generation = port->maskGeneration;
    }
    for (;;) {
        int queued = 0;
        if (Sys().ioctl(port->Fd(), FIONREAD, &queued) != 0) {
            return false;
        }
        uint32_t found = 0;
        {
            std::lock_guard<std::mutex> lock(port->mutex);
            if (port->closed) {
                errno = EBADF;
                return false;
            }
            if (port->maskGeneration != generation) {
                events = 0;
                return true;
            }
            // A terminal reports data while any is queued; an event is new data.
            const auto now = static_cast<uint32_t>(queued);
            if ((port->eventMask & kEvRxChar) != 0 && now > port->lastQueued) {
                found |= kEvRxChar;
            }
            port->lastQueued = now;
            if ((port->eventMask & kEvTxEmpty) != 0 && port->txDone) {
                found |= kEvTxEmpty;
                port->txDone = false;
            }
        }
        if (found != 0) {
            events = found;
            return true;
        }
        // While old bytes wait unread, only their count can tell of new ones.
        pollfd fds[2] = {{port->wake.Get(), POLLIN, 0}, {port->Fd(), POLLIN, 0}};
        const int ready = Sys().poll(fds, queued > 0 ? 1 : 2, queued > 0 ? 1 : -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            DrainWake(*port);
        }
        if ((fds[0].revents & POLLNVAL) != 0 ||
            (queued == 0 && (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)) {
            errno = EIO;
            return false;
        }
    }
}

SerialWaitResult SerialWaitData(SerialHandle h, uint32_t count, uint32_t ms, int uiWake) {
    auto port = Find(h);
    if (!port) {
        return SerialWaitResult::Failed;
    }
    if (port->remote) {
        return serial_port::RemoteWaitData(*port, count, ms, uiWake);
    }
    // With VTIME 0 the terminal reports the port readable only once VMIN bytes are
    // queued, so a wait for a whole answer doesn't wake for each byte of it.
    const auto want = static_cast<cc_t>(std::clamp<uint32_t>(count, 1, 255));
    {
        std::lock_guard<std::mutex> lock(port->mutex);
        if (port->vmin != want) {
            SetVmin(*port, want);
        }
    }
    pollfd fds[2] = {{port->Fd(), POLLIN, 0}, {uiWake, POLLIN, 0}};
    const int timeout = static_cast<int>(std::min<uint32_t>(ms, INT_MAX));
    const int ready = Sys().poll(fds, uiWake >= 0 ? 2 : 1, timeout);
    if (ready < 0) {
        return errno == EINTR ? SerialWaitResult::Timeout : SerialWaitResult::Failed;
    }
    if (ready == 0) {
        return SerialWaitResult::Timeout;
    }
    if ((fds[0].revents & POLLIN) != 0) {
        return SerialWaitResult::Data;
    }
    if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        errno = EIO;
        return SerialWaitResult::Failed;
    }
    return SerialWaitResult::Interface;
}

}  // namespace platform
