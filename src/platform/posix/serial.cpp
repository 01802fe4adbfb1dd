// Serial devices on POSIX terminals. The Win32 model the core expects is kept: an
// exclusive open, reads that never wait, at most one write in flight whose remainder a
// helper thread completes, and an event wait that a change of the event mask ends.

#include "platform/serial.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/posix/serial_sys.h"
#include "platform/serial_ports.h"

namespace platform {

struct SerialAsyncState {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

namespace {

const serial_sys::Table& Sys() {
    return serial_sys::Current();
}

void Signal(SerialAsyncState& state, bool on) {
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.signalled = on;
    }
    state.changed.notify_all();
}

struct Port {
    int fd = -1;
    int wake = -1;  // eventfd that ends a pending poll() of the event wait

    std::mutex mutex;  // guards everything below
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
};

std::mutex gPortsMutex;
std::map<int, std::shared_ptr<Port>>& Ports() {
    static std::map<int, std::shared_ptr<Port>> ports;
    return ports;
}

std::shared_ptr<Port> Find(SerialHandle h) {
    std::lock_guard<std::mutex> lock(gPortsMutex);
    auto it = Ports().find(static_cast<int>(h));
    if (it == Ports().end()) {
        errno = EBADF;
        return nullptr;
    }
    return it->second;
}

void Wake(const Port& port) {
    const uint64_t one = 1;
    (void)Sys().write(port.wake, &one, sizeof one);
}

void DrainWake(const Port& port) {
    uint64_t count = 0;
    (void)Sys().read(port.wake, &count, sizeof count);
}

struct SpeedEntry {
    uint32_t rate;
    speed_t speed;
};
constexpr SpeedEntry kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOf(uint32_t rate, speed_t& speed) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.rate == rate) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

uint32_t RateOf(speed_t speed) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.speed == speed) {
            return e.rate;
        }
    }
    return 0;
}

void CloseKeepingErrno(int fd) {
    const int saved = errno;
    (void)Sys().close(fd);
    errno = saved;
}

// Hands the rest of a write to the device while the owner goes on. Ends when every byte
// is taken, when the write is cancelled (purge, close), or when the device fails.
void CompleteWrite(std::shared_ptr<Port> port, std::shared_ptr<SerialAsyncState> record) {
    size_t offset = 0;
    const size_t size = port->pending.size();
    while (offset < size && !port->cancelWrite.load()) {
        pollfd p{port->fd, POLLOUT, 0};
        const int ready = Sys().poll(&p, 1, 10);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            continue;
        }
        if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            break;
        }
        const ssize_t n = Sys().write(port->fd, port->pending.data() + offset, size - offset);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        if (n <= 0) {
            // The device says it has room but takes nothing: don't spin on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        offset += static_cast<size_t>(n);
    }
    {
        std::lock_guard<std::mutex> lock(port->mutex);
        port->txDone = offset == size;
    }
    Signal(*record, true);
    Wake(*port);
}

// Ends the write in flight, if any, and waits for its helper thread.
void CancelWrite(Port& port) {
    port.cancelWrite.store(true);
    if (port.writer.joinable()) {
        port.writer.join();
    }
    port.cancelWrite.store(false);
    if (port.writing) {
        Signal(*port.writing, true);
    }
}

void SetVmin(Port& port, cc_t vmin) {
    termios tio{};
    if (Sys().tcgetattr(port.fd, &tio) == 0) {
        tio.c_cc[VMIN] = vmin;
        tio.c_cc[VTIME] = 0;
        (void)Sys().tcsetattr(port.fd, TCSANOW, &tio);
    }
    port.vmin = vmin;
}

}  // namespace

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
    const int fd = Sys().open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return kInvalidSerialHandle;
    }
    termios tio{};
    if (Sys().tcgetattr(fd, &tio) != 0 || Sys().ioctl(fd, TIOCEXCL, nullptr) != 0) {
        CloseKeepingErrno(fd);
        return kInvalidSerialHandle;
    }
    if (Sys().flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int saved = errno == EWOULDBLOCK ? EBUSY : errno;
        (void)Sys().ioctl(fd, TIOCNXCL, nullptr);
        (void)Sys().close(fd);
        errno = saved;
        return kInvalidSerialHandle;
    }
    // USB adapters otherwise hold each answer back for up to 16 ms; drivers without
    // the mode (a pty) refuse, which costs nothing.
    serial_struct ss{};
    if (Sys().ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        ss.flags |= ASYNC_LOW_LATENCY;
        (void)Sys().ioctl(fd, TIOCSSERIAL, &ss);
    }
    const int wake = Sys().eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        const int saved = errno;
        (void)Sys().ioctl(fd, TIOCNXCL, nullptr);
        (void)Sys().close(fd);
        errno = saved;
        return kInvalidSerialHandle;
    }
    auto port = std::make_shared<Port>();
    port->fd = fd;
    port->wake = wake;
    port->vmin = tio.c_cc[VMIN];
    std::lock_guard<std::mutex> lock(gPortsMutex);
    Ports()[fd] = std::move(port);
    return fd;
}

bool SerialClose(SerialHandle h) {
    std::shared_ptr<Port> port;
    {
        std::lock_guard<std::mutex> lock(gPortsMutex);
        auto it = Ports().find(static_cast<int>(h));
        if (it == Ports().end()) {
            errno = EBADF;
            return false;
        }
        port = std::move(it->second);
        Ports().erase(it);
    }
    CancelWrite(*port);
    Wake(*port);
    (void)Sys().ioctl(port->fd, TIOCNXCL, nullptr);
    (void)Sys().close(port->wake);
    return Sys().close(port->fd) == 0;
}

bool SerialSetupQueues(SerialHandle h, uint32_t, uint32_t) {
    // The terminal driver's queues have their own sizes.
    return Find(h) != nullptr;
}

bool SerialGetState(SerialHandle h, DeviceControl& dcb) {
    auto port = Find(h);
    termios tio{};
    if (!port || Sys().tcgetattr(port->fd, &tio) != 0) {
        return false;
    }
    dcb = DeviceControl{};
    dcb.DCBlength = sizeof(DeviceControl);
    dcb.fBinary = 1;
    dcb.BaudRate = RateOf(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            dcb.ByteSize = 5;
            break;
        case CS6:
            dcb.ByteSize = 6;
            break;
        case CS7:
            dcb.ByteSize = 7;
            break;
        default:
            dcb.ByteSize = 8;
            break;
    }
    if ((tio.c_cflag & PARENB) == 0) {
        dcb.Parity = kNoParity;
    } else if ((tio.c_cflag & CMSPAR) != 0) {
        dcb.Parity = (tio.c_cflag & PARODD) != 0 ? kMarkParity : kSpaceParity;
    } else {
        dcb.Parity = (tio.c_cflag & PARODD) != 0 ? kOddParity : kEvenParity;
    }
    dcb.fParity = (tio.c_iflag & INPCK) != 0 ? 1 : 0;
    if ((tio.c_cflag & CSTOPB) != 0) {
        dcb.StopBits = dcb.ByteSize == 5 ? kOne5StopBits : kTwoStopBits;
    }
    dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0 ? 1 : 0;
    dcb.fOutX = (tio.c_iflag & IXON) != 0 ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0 ? 1 : 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return true;
}

bool SerialSetState(SerialHandle h, const DeviceControl& dcb) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    termios tio{};
    if (Sys().tcgetattr(port->fd, &tio) != 0) {
        return false;
    }
    speed_t speed{};
    if (!SpeedOf(dcb.BaudRate, speed)) {
        errno = EINVAL;
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (dcb.ByteSize) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        case 8:
            tio.c_cflag |= CS8;
            break;
        default:
            errno = EINVAL;
            return false;
    }
    switch (dcb.Parity) {
        case kNoParity:
            break;
        case kOddParity:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            tio.c_cflag |= PARENB;
            break;
        case kMarkParity:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case kSpaceParity:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            errno = EINVAL;
            return false;
    }
    if (dcb.fParity != 0 && dcb.Parity != kNoParity) {
        tio.c_iflag |= INPCK;
    }
    // 1.5 stop bits exist only with 5 data bits, where the driver's two stop bits are them.
    if (dcb.StopBits == kTwoStopBits || (dcb.StopBits == kOne5StopBits && dcb.ByteSize == 5)) {
        tio.c_cflag |= CSTOPB;
    } else if (dcb.StopBits != kOneStopBit) {
        errno = EINVAL;
        return false;
    }
    if (dcb.fOutxCtsFlow != 0) {
        tio.c_cflag |= CRTSCTS;
    }
    if (dcb.fOutX != 0 || dcb.fInX != 0) {
        tio.c_iflag |= (dcb.fOutX != 0 ? IXON : 0) | (dcb.fInX != 0 ? IXOFF : 0);
        tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    }
    std::lock_guard<std::mutex> lock(port->mutex);
    tio.c_cc[VMIN] = port->vmin;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return Sys().tcsetattr(port->fd, TCSANOW, &tio) == 0;
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
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(port->mutex);
        generation = port->maskGeneration;
    }
    for (;;) {
        int queued = 0;
        if (Sys().ioctl(port->fd, FIONREAD, &queued) != 0) {
            return false;
        }
        uint32_t found = 0;
        {
            std::lock_guard<std::mutex> lock(port->mutex);
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
        pollfd fds[2] = {{port->wake, POLLIN, 0}, {port->fd, POLLIN, 0}};
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

bool SerialClearError(SerialHandle h, SerialStatus& status) {
    auto port = Find(h);
    if (!port) {
        return false;
    }
    int queued = 0;
    if (Sys().ioctl(port->fd, FIONREAD, &queued) != 0) {
        return false;
    }
    int outQueued = 0;
    if (Sys().ioctl(port->fd, TIOCOUTQ, &outQueued) != 0) {
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
    bool ok = true;
    if ((flags & kPurgeTxAbort) != 0) {
        CancelWrite(*port);
    }
    if ((flags & (kPurgeRxAbort | kPurgeRxClear)) != 0) {
        ok = Sys().tcflush(port->fd, TCIFLUSH) == 0 && ok;
        std::lock_guard<std::mutex> lock(port->mutex);
        port->lastQueued = 0;
    }
    if ((flags & kPurgeTxClear) != 0) {
        ok = Sys().tcflush(port->fd, TCOFLUSH) == 0 && ok;
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
    const ssize_t n = Sys().read(port->fd, buffer, count);
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
    {
        std::lock_guard<std::mutex> lock(ov.state->mutex);
        if (!ov.state->signalled) {
            errno = EBUSY;  // the record's write is still in flight
            return false;
        }
    }
    if (port->writer.joinable()) {
        port->writer.join();  // the previous write has completed: its event is signalled
    }
    ssize_t n = count == 0 ? 0 : Sys().write(port->fd, data, count);
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
    port->pending.assign(bytes + n, bytes + count);
    port->writing = ov.state;
    Signal(*ov.state, false);
    try {
        port->writer = std::thread(CompleteWrite, port, ov.state);
    } catch (const std::system_error&) {
        Signal(*ov.state, true);
        errno = EAGAIN;
        return false;
    }
    return true;
}

SerialWaitResult SerialWaitData(SerialHandle h, uint32_t count, uint32_t ms, int uiWake) {
    auto port = Find(h);
    if (!port) {
        return SerialWaitResult::Failed;
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
    pollfd fds[2] = {{port->fd, POLLIN, 0}, {uiWake, POLLIN, 0}};
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
