#include "platform/win32/serial_read_ahead.h"

#include "platform/win32/serial_sys.h"

namespace platform {

namespace {

// A read that meets no byte in this time ends empty, and the next wait starts another.
constexpr DWORD kReadAheadLimitMs = 1000;

}  // namespace

bool SerialReadAhead::Create() {
    event.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    return static_cast<bool>(event);
}

void SerialReadAhead::Start(HANDLE file, const COMMTIMEOUTS& own) {
    if (pending || held || !event) {
        return;
    }
    // The documented combination that waits for the first byte and returns it at once.
    COMMTIMEOUTS waiting = own;
    waiting.ReadIntervalTimeout = MAXDWORD;
    waiting.ReadTotalTimeoutMultiplier = MAXDWORD;
    waiting.ReadTotalTimeoutConstant = kReadAheadLimitMs;
    if (!CurrentSerialCalls().SetCommTimeouts(file, &waiting)) {
        return;  // the waits fall back on their periodic look at the queue
    }
    ov = OVERLAPPED{};
    ov.hEvent = event.Get();
    const DWORD saved = ::GetLastError();
    if (CurrentSerialCalls().ReadFile(file, &byte, 1, nullptr, &ov)) {
        Completed(file, FALSE);
    } else if (::GetLastError() == ERROR_IO_PENDING) {
        pending = true;
    }
    COMMTIMEOUTS restore = own;
    if (!CurrentSerialCalls().SetCommTimeouts(file, &restore)) {
        // Left as it is, the port's next read could wait: no read ahead without the
        // port's own time-outs.
        Finish(file);
    }
    ::SetLastError(saved);
}

void SerialReadAhead::Settle(HANDLE file) {
    if (pending && HasOverlappedIoCompleted(&ov)) {
        Completed(file, FALSE);
    }
}

void SerialReadAhead::Finish(HANDLE file) {
    if (!pending) {
        return;
    }
    const DWORD saved = ::GetLastError();
    if (!HasOverlappedIoCompleted(&ov)) {
        CurrentSerialCalls().CancelIoEx(file, &ov);
    }
    Completed(file, TRUE);
    ::SetLastError(saved);
}

void SerialReadAhead::Completed(HANDLE file, BOOL waitForIt) {
    DWORD done = 0;
    const BOOL ok = CurrentSerialCalls().GetOverlappedResult(file, &ov, &done, waitForIt);
    if (!ok && ::GetLastError() == ERROR_IO_INCOMPLETE) {
        return;  // still under way
    }
    pending = false;
    held = ok && done == 1;
}

bool SerialReadAhead::Take(uint8_t& out) {
    if (!held) {
        return false;
    }
    out = byte;
    held = false;
    return true;
}

}  // namespace platform
