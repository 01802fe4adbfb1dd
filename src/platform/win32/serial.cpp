// Serial devices on Win32: \\.\COMn opened for overlapped I/O. Besides the port, each
// open device has a data event that the event wait sets when characters arrive and a read
// of one byte ahead (serial_read_ahead.h), so a wait for an answer sleeps on those and the
// thread's message queue together.

#include "platform/serial.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/network_port.h"
#include "platform/serial_ports.h"
#include "platform/wake_signal.h"
#include "platform/win32/serial_dcb.h"
#include "platform/win32/serial_read_ahead.h"
#include "platform/win32/serial_sys.h"
#include "platform/win32/unique_handle.h"

namespace platform {

struct SerialAsyncState {
    UniqueHandle event;  // the record's manual-reset event, also in ov.hEvent
    OVERLAPPED ov{};
    HANDLE file = INVALID_HANDLE_VALUE;  // the port of the operation last started
    std::vector<uint8_t> buffer;         // a write's bytes until the device has taken them
};

namespace {

const SerialCalls& Sys() {
    return CurrentSerialCalls();
}

// Closes through the table in use, so that a test's table sees every close.
BOOL CloseThroughCalls(HANDLE h) {
    return Sys().CloseHandle(h);
}

// A wait for data looks at the queue itself at least this often. The read ahead ends a
// wait with an answer's first byte; the rest of a longer answer, and a port where no read
// could be started ahead, rely on these looks. The poll thread's event wait tells of data
// too, but late where the driver polls the line for events (wine looks each millisecond,
// from a thread it starts for every wait). The looks follow a periodic
// timer rather than the wait's own time-out: a 1 ms time-out lasts about 1.2 ms under
// wine, and an ACK, which comes a fixed time after its block, then always waited out most
// of a slice.
constexpr DWORD kDataWaitSliceMs = 1;
// How often a wait with a read in flight ahead looks at the queue all the same.
constexpr DWORD kReadAheadLookMs = 10;

// The device and the events live as long as the record: a wait still running on another
// thread when the port is closed keeps handles that are its own, and the device closes
// with the last reference, after that wait's last use of it.
struct Port {
    BasicUniqueHandle<CloseThroughCalls> file;
    UniqueHandle data;       // set when characters have arrived
    UniqueHandle waitEvent;  // the event wait's own overlapped event
    UniqueHandle tick;       // periodic, every kDataWaitSliceMs: when a wait for data looks
    // Used by the port's owner only (waits for data, reads, purges, the close).
    SerialReadAhead readAhead;
    COMMTIMEOUTS ownTimeouts{};  // the time-outs last set, which the read ahead puts back
    bool ownTimeoutsKnown = false;
    std::atomic<uint64_t> maskChanges{0};
    std::atomic<bool> closed{false};
    // Told after a change of maskChanges or closed: ends an event wait's rest (see
    // kSelfEndedWaitRestMs) at once.
    WakeSignal restEnds;

    HANDLE File() const { return file.Get(); }
};

// An event wait that ends with no event while nobody changed the mask ended by itself:
// wine does so on a pseudo-terminal about every millisecond, and starts a thread of its
// own for every new wait. Without a rest the poll thread would start a thousand waits a
// second and take the time the download needs; with it, the data still comes through the
// queue, which every wait for data looks at itself.
constexpr DWORD kSelfEndedWaitRestMs = 100;

std::mutex gPortsMutex;
std::map<SerialHandle, std::shared_ptr<Port>>& Ports() {
    static std::map<SerialHandle, std::shared_ptr<Port>> ports;
    return ports;
}

std::shared_ptr<Port> FindPort(SerialHandle h) {
    std::lock_guard<std::mutex> lock(gPortsMutex);
    auto it = Ports().find(h);
    if (it == Ports().end()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

// Makes one call on the port's device, holding the port meanwhile; false for a handle
// that is not open.
template <typename Call>
bool OnDevice(SerialHandle h, Call call) {
    const std::shared_ptr<Port> port = FindPort(h);
    return port && call(port->File()) != FALSE;
}

// The read ahead puts back what the port's owner set, or what the port had from the start.
bool KnowOwnTimeouts(Port& port) {
    if (!port.ownTimeoutsKnown) {
        port.ownTimeoutsKnown = Sys().GetCommTimeouts(port.File(), &port.ownTimeouts) != FALSE;
    }
    return port.ownTimeoutsKnown;
}

bool InFlight(const SerialAsyncState& state) {
    return state.ov.hEvent != nullptr && ::WaitForSingleObject(state.ov.hEvent, 0) != WAIT_OBJECT_0;
}

}  // namespace

std::string SerialDefaultDevice(int port) {
    return "\\\\.\\COM" + std::to_string(port);
}

bool SerialCreateOverlapped(SerialOverlapped& ov, bool signalled) {
    auto state = std::make_shared<SerialAsyncState>();
    state->event.Reset(::CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr));
    if (!state->event) {
        return false;
    }
    state->ov.hEvent = state->event.Get();
    ov.state = std::move(state);
    return true;
}

void SerialCloseOverlapped(SerialOverlapped& ov) {
    if (!ov.state) {
        return;
    }
    SerialAsyncState& state = *ov.state;
    if (InFlight(state) && state.file != INVALID_HANDLE_VALUE) {
        // The system writes into the record when the operation ends: end it first.
        DWORD done = 0;
        Sys().CancelIo(state.file);
        Sys().GetOverlappedResult(state.file, &state.ov, &done, TRUE);
    }
    ov.state.reset();
}

bool SerialWaitOverlapped(const SerialOverlapped& ov, uint32_t ms) {
    if (!ov.state || ov.state->ov.hEvent == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return ::WaitForSingleObject(ov.state->ov.hEvent, ms) == WAIT_OBJECT_0;
}

SerialHandle SerialOpen(const std::string& portName) {
    const std::string path = SerialDevicePath(portName);
    // The network transport lives beneath the POSIX serial service only.
    if (IsNetworkPortName(path)) {
        NoteNetworkPortFailure(path, kErrorNetworkPortUnsupported);
        ::SetLastError(kErrorNetworkPortUnsupported);
        return kInvalidSerialHandle;
    }
    auto port = std::make_shared<Port>();
    port->file.Reset(Sys().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port->file) {
        return kInvalidSerialHandle;
    }
    port->data.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    port->waitEvent.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    port->tick.Reset(::CreateWaitableTimerA(nullptr, FALSE, nullptr));
    if (!port->data || !port->waitEvent || !port->tick || !port->readAhead.Create()) {
        return kInvalidSerialHandle;
    }
    LARGE_INTEGER due{};
    due.QuadPart = -10000LL * kDataWaitSliceMs;
    if (!::SetWaitableTimer(port->tick.Get(), &due, kDataWaitSliceMs, nullptr, nullptr, FALSE)) {
        return kInvalidSerialHandle;
    }
    const auto handle = reinterpret_cast<SerialHandle>(port->file.Get());
    std::lock_guard<std::mutex> lock(gPortsMutex);
    Ports()[handle] = std::move(port);
    return handle;
}

bool SerialClose(SerialHandle h) {
    std::shared_ptr<Port> port;
    {
        std::lock_guard<std::mutex> lock(gPortsMutex);
        auto it = Ports().find(h);
        if (it == Ports().end()) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        port = std::move(it->second);
        Ports().erase(it);
    }
    // An event wait on another thread may still use the device: end it, and leave the
    // close to the last reference, which that wait's return orders after its last use.
    // (Closed at once, the handle's value could name the next object opened.)
    port->readAhead.Finish(port->File());
    port->closed.store(true);
    port->restEnds.Notify();
    (void)Sys().SetCommMask(port->File(), 0);
    return true;
}

bool SerialSetupQueues(SerialHandle h, uint32_t rxSize, uint32_t txSize) {
    return OnDevice(h, [&](HANDLE file) { return Sys().SetupComm(file, rxSize, txSize); });
}

bool SerialGetState(SerialHandle h, DeviceControl& dcb) {
    DCB native{};
    native.DCBlength = sizeof native;
    if (!OnDevice(h, [&](HANDLE file) { return Sys().GetCommState(file, &native); })) {
        return false;
    }
    dcb = FromDcb(native);
    return true;
}

bool SerialSetState(SerialHandle h, const DeviceControl& dcb) {
    DCB native = ToDcb(dcb);
    return OnDevice(h, [&](HANDLE file) { return Sys().SetCommState(file, &native); });
}

bool SerialGetTimeouts(SerialHandle h, SerialTimeouts& t) {
    COMMTIMEOUTS native{};
    if (!OnDevice(h, [&](HANDLE file) { return Sys().GetCommTimeouts(file, &native); })) {
        return false;
    }
    t.ReadIntervalTimeout = native.ReadIntervalTimeout;
    t.ReadTotalTimeoutMultiplier = native.ReadTotalTimeoutMultiplier;
    t.ReadTotalTimeoutConstant = native.ReadTotalTimeoutConstant;
    t.WriteTotalTimeoutMultiplier = native.WriteTotalTimeoutMultiplier;
    t.WriteTotalTimeoutConstant = native.WriteTotalTimeoutConstant;
    return true;
}

bool SerialSetTimeouts(SerialHandle h, const SerialTimeouts& t) {
    COMMTIMEOUTS native{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                        t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                        t.WriteTotalTimeoutConstant};
    const std::shared_ptr<Port> port = FindPort(h);
    if (!port || !Sys().SetCommTimeouts(port->File(), &native)) {
        return false;
    }
    port->ownTimeouts = native;
    port->ownTimeoutsKnown = true;
    return true;
}

bool SerialGetEventMask(SerialHandle h, uint32_t& mask) {
    DWORD native = 0;
    if (!OnDevice(h, [&](HANDLE file) { return Sys().GetCommMask(file, &native); })) {
        return false;
    }
    mask = native;
    return true;
}

bool SerialSetEventMask(SerialHandle h, uint32_t mask) {
    const std::shared_ptr<Port> port = FindPort(h);
    if (!port) {
        return false;
    }
    ++port->maskChanges;
    port->restEnds.Notify();
    return Sys().SetCommMask(port->File(), mask) != FALSE;
}

bool SerialWaitEvent(SerialHandle h, uint32_t& events) {
    const std::shared_ptr<Port> port = FindPort(h);
    if (!port) {
        return false;
    }
    const HANDLE file = port->File();
    // Characters that came while no wait was pending raise no event of their own.
    DWORD errors = 0;
    COMSTAT stat{};
    if (Sys().ClearCommError(file, &errors, &stat) && stat.cbInQue > 0) {
        ::SetEvent(port->data.Get());
    }
    OVERLAPPED ov{};
    ov.hEvent = port->waitEvent.Get();
    ::ResetEvent(port->waitEvent.Get());
    const uint64_t changesBefore = port->maskChanges.load();
    DWORD mask = 0;
    if (!Sys().WaitCommEvent(file, &mask, &ov)) {
        if (::GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        // A close that came before this wait began could not end it.
        if (port->closed.load()) {
            (void)Sys().SetCommMask(file, 0);
        }
        DWORD done = 0;
        if (!Sys().GetOverlappedResult(file, &ov, &done, TRUE)) {
            // A change of the mask ends a pending wait with no events; wine ends it as
            // aborted instead.
            if (::GetLastError() != ERROR_OPERATION_ABORTED) {
                return false;
            }
            mask = 0;
        }
    }
    if ((mask & EV_RXCHAR) != 0) {
        ::SetEvent(port->data.Get());
    }
    if (mask == 0) {
        // A change of the mask or the port's close ends the rest at once.
        port->restEnds.WaitFor(kSelfEndedWaitRestMs, [&] {
            return port->maskChanges.load() != changesBefore || port->closed.load();
        });
    }
    if (port->closed.load()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    events = mask;
    return true;
}

bool SerialClearError(SerialHandle h, SerialStatus& status) {
    const std::shared_ptr<Port> port = FindPort(h);
    DWORD errors = 0;
    COMSTAT stat{};
    if (!port || !Sys().ClearCommError(port->File(), &errors, &stat)) {
        return false;
    }
    port->readAhead.Settle(port->File());
    status.errors = errors;
    status.inQueue = stat.cbInQue + port->readAhead.Held();
    status.outQueue = stat.cbOutQue;
    return true;
}

bool SerialPurge(SerialHandle h, uint32_t flags) {
    const std::shared_ptr<Port> port = FindPort(h);
    if (!port) {
        return false;
    }
    if ((flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0) {
        // The byte read ahead belongs to the input being thrown away.
        port->readAhead.Finish(port->File());
        port->readAhead.Drop();
    }
    return Sys().PurgeComm(port->File(), flags) != FALSE;
}

bool SerialRead(SerialHandle h, SerialOverlapped& ov, void* buffer, uint32_t count,
                uint32_t& read) {
    read = 0;
    if (!ov.state) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::shared_ptr<Port> port = FindPort(h);
    if (!port) {
        return false;
    }
    // The byte read ahead came first.
    port->readAhead.Finish(port->File());
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (count > 0 && port->readAhead.Take(bytes[0])) {
        read = 1;
        ++bytes;
        --count;
        if (count == 0) {
            return true;
        }
    }
    SerialAsyncState& state = *ov.state;
    state.file = port->File();
    state.ov.Offset = 0;
    state.ov.OffsetHigh = 0;
    DWORD done = 0;
    // The time-outs make every read end at once; a read left pending would later write
    // into a buffer its caller has moved on from, so its end is awaited here. A failure
    // after the byte read ahead still hands that byte over; the next read meets it.
    if ((!Sys().ReadFile(state.file, bytes, count, nullptr, &state.ov) &&
         ::GetLastError() != ERROR_IO_PENDING) ||
        !Sys().GetOverlappedResult(state.file, &state.ov, &done, TRUE)) {
        return read > 0;
    }
    read += done;
    return true;
}

bool SerialWrite(SerialHandle h, SerialOverlapped& ov, const void* data, uint32_t count) {
    if (!ov.state) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::shared_ptr<Port> port = FindPort(h);
    if (!port) {
        return false;
    }
    SerialAsyncState& state = *ov.state;
    if (InFlight(state)) {
        ::SetLastError(ERROR_BUSY);
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    state.buffer.assign(bytes, bytes + count);
    state.file = port->File();
    state.ov.Offset = 0;
    state.ov.OffsetHigh = 0;
    if (Sys().WriteFile(state.file, state.buffer.data(), count, nullptr, &state.ov)) {
        return true;
    }
    if (::GetLastError() == ERROR_IO_PENDING) {
        return true;
    }
    // Nothing is in flight after a refused write.
    ::SetEvent(state.ov.hEvent);
    return false;
}

SerialWaitResult SerialWaitData(SerialHandle h, uint32_t count, uint32_t ms, int) {
    const std::shared_ptr<Port> port = FindPort(h);
    if (!port) {
        return SerialWaitResult::Failed;
    }
    HANDLE data = port->data.Get();
    const HANDLE file = port->File();
    SerialReadAhead& readAhead = port->readAhead;
    ::ResetEvent(data);
    DWORD errors = 0;
    COMSTAT stat{};
    if (!Sys().ClearCommError(file, &errors, &stat)) {
        return SerialWaitResult::Failed;
    }
    readAhead.Settle(file);
    const uint32_t queued = stat.cbInQue + readAhead.Held();
    if (queued >= count) {
        return SerialWaitResult::Data;
    }
    // Only an empty queue waits for a first byte; the rest of a longer answer follows it
    // within the slices.
    if (queued == 0 && KnowOwnTimeouts(*port)) {
        readAhead.Start(file, port->ownTimeouts);
        if (readAhead.Held() >= count) {
            return SerialWaitResult::Data;
        }
    }
    // A read in flight ahead ends with the first byte, and until then the queue needs only
    // a rare look, for a driver that would keep the byte from the read. Otherwise the tick
    // ends the wait each slice. The caller's limit bounds the last one.
    const bool ahead = readAhead.InFlight();
    const HANDLE wakes[2] = {data, ahead ? readAhead.Event() : port->tick.Get()};
    const DWORD limit = ahead ? std::min<DWORD>(ms, kReadAheadLookMs) : ms;
    const DWORD result =
        Sys().MsgWaitForMultipleObjectsEx(2, wakes, limit, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (result == WAIT_OBJECT_0 + 1 && ahead) {
        readAhead.Settle(file);
        return readAhead.Held() != 0 ? SerialWaitResult::Data : SerialWaitResult::Timeout;
    }
    switch (result) {
        case WAIT_OBJECT_0:
            return SerialWaitResult::Data;
        case WAIT_OBJECT_0 + 1:  // the tick: time to look at the queue again
        case WAIT_TIMEOUT:
            return SerialWaitResult::Timeout;
        case WAIT_OBJECT_0 + 2:
            return SerialWaitResult::Interface;
        default:
            return SerialWaitResult::Failed;
    }
}

}  // namespace platform
