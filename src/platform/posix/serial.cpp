// Serial devices on POSIX terminals. The Win32 model the core expects is kept: an
// exclusive open, reads that never wait, at most one write in flight whose remainder a
// helper thread completes (serial_writer), and an event wait that a change of the event
// mask ends (serial_events).

#include "platform/serial.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/network_port.h"
#include "platform/posix/serial_port.h"
#include "platform/posix/serial_remote.h"
#include "platform/posix/serial_termios.h"
#include "platform/posix/serial_writer.h"
#include "platform/serial_ports.h"

namespace platform {

using serial_port::Find;
using serial_port::Port;
using serial_port::Sys;
using serial_port::Wake;

std::string SerialDefaultDevice(int port) {
    return "/dev/ttyS" + std::to_string(port - 1);
}

bool SerialCreateOverlapped(SerialOverlapped& ov, bool signalled) {
    ov.state = std::make_shared<SerialAsyncState>();
    ov.state->signalled = signalled;
    return true;
}

void SerialCloseOverlapped(SerialOverlapped& ov) {
    // A helper thread still writing holds its own reference; it ends with the port.
    ov.state.reset();
}

bool SerialWaitOverlapped(const SerialOverlapped& ov, uint32_t ms) {
    if (!ov.state) {
        errno = EINVAL;
        return false;
    }
    std::unique_lock<std::mutex> lock(ov.state->mutex);
    return ov.state->changed.wait_for(lock, std::chrono::milliseconds(ms),
                                      [&] { return ov.state->signalled; });
}

SerialHandle SerialOpen(const std::string& portName) {
    const std::string path = SerialDevicePath(portName);
    if (IsNetworkPortName(path)) {
        return serial_port::OpenRemote(path);
    }
    serial_port::SysFd opened(Sys().open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!opened) {
        return kInvalidSerialHandle;
    }
    termios tio{};
    if (Sys().tcgetattr(opened.Get(), &tio) != 0 ||
        Sys().ioctl(opened.Get(), TIOCEXCL, nullptr) != 0) {
        return kInvalidSerialHandle;
    }
    // From here the descriptor is in exclusive use, which its owner gives up at the close.
    auto port = std::make_shared<Port>();
    port->device = serial_port::DeviceFd(opened.Release());
    if (Sys().flock(port->Fd(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            errno = EBUSY;
        }
        return kInvalidSerialHandle;
    }
    // USB adapters otherwise hold each answer back for up to 16 ms; drivers without
    // the mode (a pty) refuse, which costs nothing.
    serial_struct ss{};
    if (Sys().ioctl(port->Fd(), TIOCGSERIAL, &ss) == 0) {
        ss.flags |= ASYNC_LOW_LATENCY;
        (void)Sys().ioctl(port->Fd(), TIOCSSERIAL, &ss);
    }
    port->wake = serial_port::SysFd(Sys().eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!port->wake) {
        return kInvalidSerialHandle;
    }
    port->vmin = tio.c_cc[VMIN];
    return serial_port::Register(std::move(port));
}

bool SerialClose(SerialHandle h) {
    std::shared_ptr<Port> port = serial_port::Unregister(h);
    if (!port) {
        return false;
    }
    serial_port::CancelWrite(*port);
    {
        std::lock_guard<std::mutex> lock(port->mutex);
        port->closed = true;
    }
    Wake(*port);
    if (port->remote) {
        port->remote->Shutdown();  // ends a wait on the socket at once
    }
    // Out of the registry no one can take a new reference. The descriptors close with
    // the last reference, wherever it goes: a call still running on another thread may
    // read them until it returns, and only the release of its reference orders its last
    // read before the close. (How many references are left says nothing of that order.)
    return true;
}

bool SerialSetupQueues(SerialHandle h, uint32_t, uint32_t) {
    // The terminal driver's queues have their own sizes.
    return Find(h) != nullptr;
}

bool SerialGetState(SerialHandle h, DeviceControl& dcb) {
    auto port = Find(h);
    if (port && port->remote) {
        return port->remote->GetLine(dcb);
    }
    termios tio{};
    if (!port || Sys().tcgetattr(port->Fd(), &tio) != 0) {
        return false;
    }
    dcb = FromTermios(tio);
    return true;
}

bool SerialSetState(SerialHandle h, const DeviceControl& dcb) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    if (port->remote) {
        return port->remote->SetLine(dcb);
    }
    termios tio{};
    if (Sys().tcgetattr(port->Fd(), &tio) != 0) {
        return false;
    }
    if (!ToTermios(dcb, tio)) {
        errno = EINVAL;
        return false;
    }
    std::lock_guard<std::mutex> lock(port->mutex);
    tio.c_cc[VMIN] = port->vmin;
    tio.c_cc[VTIME] = 0;
    if (Sys().tcsetattr(port->Fd(), TCSANOW, &tio) != 0) {
        return false;
    }
    // The call succeeds when the driver took any of the settings; what it quietly
    // dropped shows only in what it gives back.
    termios applied{};
    if (Sys().tcgetattr(port->Fd(), &applied) != 0) {
        return false;
    }
    if (!KeepsLineSettings(tio, applied)) {
        errno = EINVAL;
        return false;
    }
    return true;
}

bool SerialGetTimeouts(SerialHandle h, SerialTimeouts& timeouts) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    std::lock_guard<std::mutex> lock(port->mutex);
    timeouts = port->timeouts;
    return true;
}

bool SerialSetTimeouts(SerialHandle h, const SerialTimeouts& timeouts) {
    // Reads here never wait, whatever the time-outs say; they are kept for the record.
    auto port = Find(h);
    if (!port) {
        return false;
    }
    std::lock_guard<std::mutex> lock(port->mutex);
    port->timeouts = timeouts;
    return true;
}

bool SerialClearError(SerialHandle h, SerialStatus& status) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    if (port->remote) {
        status = SerialStatus{};
        return port->remote->Queued(status.inQueue);
    }
    int queued = 0;
    if (Sys().ioctl(port->Fd(), FIONREAD, &queued) != 0) {
        return false;
    }
    int outQueued = 0;
    if (Sys().ioctl(port->Fd(), TIOCOUTQ, &outQueued) != 0) {
        outQueued = 0;
    }
    status.errors = 0;
    status.inQueue = static_cast<uint32_t>(std::max(queued, 0));
    status.outQueue = static_cast<uint32_t>(std::max(outQueued, 0));
    return true;
}

bool SerialPurge(SerialHandle h, uint32_t flags) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    if (port->remote) {
        {
            std::lock_guard<std::mutex> lock(port->mutex);
            port->lastQueued = 0;
        }
        return port->remote->Purge(flags);
    }
    bool ok = true;
    if ((flags & kPurgeTxAbort) != 0) {
        serial_port::CancelWrite(*port);
    }
    if ((flags & (kPurgeRxAbort | kPurgeRxClear)) != 0) {
        ok = Sys().tcflush(port->Fd(), TCIFLUSH) == 0 && ok;
        std::lock_guard<std::mutex> lock(port->mutex);
        port->lastQueued = 0;
    }
    if ((flags & kPurgeTxClear) != 0) {
        ok = Sys().tcflush(port->Fd(), TCOFLUSH) == 0 && ok;
    }
    return ok;
}

bool SerialRead(SerialHandle h, SerialOverlapped&, void* buffer, uint32_t count, uint32_t& read) {
    read = 0;
    auto port = Find(h);
    if (!port) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    const ssize_t n = port->remote ? serial_port::RemoteRead(*port, buffer, count)
                                   : Sys().read(port->Fd(), buffer, count);
    if (n < 0) {
        return errno == EAGAIN;
    }
    if (n == 0) {
        // End of file on a terminal: the line hung up.
        errno = EIO;
        return false;
    }
    read = static_cast<uint32_t>(n);
    std::lock_guard<std::mutex> lock(port->mutex);
    port->lastQueued -= std::min(port->lastQueued, read);
    return true;
}

bool SerialWrite(SerialHandle h, SerialOverlapped& ov, const void* data, uint32_t count) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    if (!ov.state) {
        errno = EINVAL;
        return false;
    }
    if (port->remote) {
        return serial_port::RemoteWrite(*port, data, count);
    }
    {
        std::lock_guard<std::mutex> lock(ov.state->mutex);
        if (!ov.state->signalled) {
            errno = EBUSY;  // the record's write is still in flight
            return false;
        }
    }
    serial_port::JoinWriter(*port);  // the previous write has completed: its event is signalled
    ssize_t n = count == 0 ? 0 : Sys().write(port->Fd(), data, count);
    if (n < 0) {
        if (errno != EAGAIN) {
            return false;
        }
        n = 0;
    }
    if (static_cast<uint32_t>(n) == count) {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(port->mutex);
            port->txDone = true;
            wake = (port->eventMask & kEvTxEmpty) != 0;
        }
        if (wake) {
            Wake(*port);
        }
        return true;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    return serial_port::StartWriter(port, ov.state, bytes + n, count - static_cast<uint32_t>(n));
}

}  // namespace platform
