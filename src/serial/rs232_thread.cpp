// The poll thread: waits for port events and tells the notification window of received
// characters. Its start and stop are a handshake on fStopThread.

#include <system_error>

#include "platform/errors.h"
#include "serial/rs232.h"
#include "support/frontend.h"
#include "support/trace.h"
#include "support/utils.h"

namespace {

// After a failed wait (a device that vanished fails every wait at once) the thread
// rests this long, so it neither spins nor floods the trace.
constexpr uint32_t kFailedWaitRestMs = 20;

}  // namespace

uint32_t RS232::DisableCommEvents(platform::SerialHandle h, uint32_t events) {
    uint32_t mask = 0;
    if (!platform::SerialGetEventMask(h, mask)) {
        return 0;
    }
    platform::SerialSetEventMask(h, mask & ~events);
    return mask;
}

int RS232::EnableCommNotification(platform::SerialHandle, WindowHandle hWnd) {
    if (hThread.joinable()) {
        return 0;
    }
    TraceRS232(4, "{cb}EnableCommNotification (%s)", szName);
    hNotifyWnd = hWnd;
    fStopThread.store(1);
    fThreadActive.store(true);
    try {
        hThread = std::thread(PollRS232Thread, this);
    } catch (const std::system_error& e) {
        fThreadActive.store(false);
        platform::SetLastError(static_cast<uint32_t>(e.code().value()));
        TraceRS232(2, "{cr}*EnableCommNotification (%s) = %s", szName,
                   GetSystemErrorText(platform::LastError()));
        return 0;
    }
    // The thread clears the flag first thing, and tells of it.
    stopSignal.Wait([this] { return fStopThread.load() != 1; });
    TraceRS232(4, "{cg}*EnableCommNotification (%s)", szName);
    return 1;
}

uint32_t RS232::PollRS232Thread(RS232* self) {
    TraceRS232(4, "{cb}PollRS232Thread (%s)", self->szName);
    self->fStopThread.store(0);
    self->stopSignal.Notify();
    platform::SerialSetEventMask(self->hComm, kCommEventMask);
    uint32_t lastFailure = 0;
    while (self->fStopThread.load() == 0) {
        uint32_t events = 0;
        if (!platform::SerialWaitEvent(self->hComm, events)) {
            const uint32_t code = platform::LastError();
            if (code != lastFailure) {
                TraceRS232(2, "{cr}*WaitCommEvent (%s) = %d (%s)", self->szName,
                           static_cast<int>(code), GetSystemErrorText(code));
                lastFailure = code;
            }
            self->stopSignal.WaitFor(kFailedWaitRestMs,
                                     [self] { return self->fStopThread.load() != 0; });
        } else {
            lastFailure = 0;
            // Several events together (a character and an empty transmit queue) post
            // nothing; a pty's waits often end with no events at all.
            if (events == platform::kEvRxChar) {
                FrontEndPostMessage(self->hNotifyWnd, kWmCommNotify,
                                    static_cast<uintptr_t>(self->hComm), kCnReceive);
            }
        }
        platform::SerialSetEventMask(self->hComm, kCommEventMask);
    }
    TraceRS232(4, "{cg}*PollRS232Thread (%s)", self->szName);
    self->fThreadActive.store(false);
    self->stopSignal.Notify();
    return 0;
}
