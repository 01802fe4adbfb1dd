#include "platform/posix/serial_writer.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace platform::serial_port {
namespace {

// Hands the rest of a write to the device while the owner goes on. Ends when every byte
// is taken, when the write is cancelled (purge, close), or when the device fails.
void CompleteWrite(std::shared_ptr<Port> port, std::shared_ptr<SerialAsyncState> record) {
    size_t offset = 0;
    const size_t size = port->pending.size();
    while (offset < size && !port->cancelWrite.load()) {
        pollfd p{port->Fd(), POLLOUT, 0};
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
        const ssize_t n = Sys().write(port->Fd(), port->pending.data() + offset, size - offset);
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

}  // namespace

bool StartWriter(const std::shared_ptr<Port>& port, const std::shared_ptr<SerialAsyncState>& record,
                 const uint8_t* bytes, size_t count) {
    port->pending.assign(bytes, bytes + count);
    port->writing = record;
    Signal(*record, false);
    try {
        port->writer = std::thread(CompleteWrite, port, record);
    } catch (const std::system_error&) {
        Signal(*record, true);
        errno = EAGAIN;
        return false;
    }
    return true;
}

void JoinWriter(Port& port) {
    if (port.writer.joinable()) {
        port.writer.join();
    }
}

void CancelWrite(Port& port) {
    port.cancelWrite.store(true);
    JoinWriter(port);
    port.cancelWrite.store(false);
    if (port.writing) {
        Signal(*port.writing, true);
    }
}

}  // namespace platform::serial_port
