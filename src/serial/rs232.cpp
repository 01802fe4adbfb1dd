// The port's life: construction, opening and configuring, closing, destruction.

#include "serial/rs232.h"

#include <algorithm>
#include <cstdio>

#include "platform/errors.h"
#include "support/trace.h"
#include "support/utils.h"

namespace {

const char* StopBitText(int choice) {
    static constexpr const char* kTexts[kStopBitChoices] = {"1", "1.5", "2"};
    // An unknown choice leaves the field empty, which the mode check refuses.
    return choice >= 0 && choice < kStopBitChoices ? kTexts[choice] : "";
}

}  // namespace

RS232::RS232(WindowHandle hWnd, const char* name, int port, uint32_t baudRate, int dataBits,
             int stopBits, char parity, uint32_t rxQueueSize, uint32_t txQueueSize) {
    dwRxBufferSize = rxQueueSize;
    dwRxCount = 0;
    platform::SerialCreateOverlapped(ovRead, false);
    platform::SerialCreateOverlapped(ovWrite, true);
    nInitResult =
        InitComm(name, port, baudRate, dataBits, stopBits, parity, rxQueueSize, txQueueSize);
    // At least one byte, so that GetByte has somewhere to put its byte.
    const size_t size = std::max<uint32_t>(dwRxBufferSize, 1);
    pRxBuffer = std::make_unique<uint8_t[]>(size);
    pRxRead = pRxBuffer.get();
    if (nInitResult == 1) {
        EnableCommNotification(hComm, hWnd);
    }
}

RS232::~RS232() {
    TraceRS232(4, "{cb}Destructor::RS232 (%s)", szName);
    platform::SerialCloseOverlapped(ovRead);
    platform::SerialCloseOverlapped(ovWrite);
    // The handle is closed exactly once: a port that never opened, or that InitComm
    // closed again, has the invalid handle here.
    if (hComm != platform::kInvalidSerialHandle) {
        platform::SerialStatus status;
        platform::SerialClearError(hComm, status);
        DisableCommEvents(hComm, platform::kEvRxChar);
        CloseComm(hComm);
    }
    pRxRead = nullptr;
    pRxBuffer.reset();
    TraceRS232(4, "{cg}*Destructor::RS232 (%s)", szName);
}

int RS232::InitComm(const char* name, int port, uint32_t baudRate, int dataBits, int stopBits,
                    char parity, uint32_t rxQueueSize, uint32_t txQueueSize) {
    fOpen = 0;
    CopyString(szName, name != nullptr ? name : "", sizeof szName, 31);

    char portName[32];
    std::snprintf(portName, sizeof portName, "COM%d", port);
    hComm = OpenComm(portName, rxQueueSize, txQueueSize);
    if (hComm == platform::kInvalidSerialHandle) {
        const uint32_t code = platform::LastError();
        // A port bound to a device names it: "COM1" alone hides which file failed to open.
        const std::string device = platform::SerialBoundDevice(port);
        char caption[320];
        std::snprintf(caption, sizeof caption, device.empty() ? "%s: COM%d" : "%s: COM%d (%s)",
                      szName, port, device.c_str());
        ShowSystemError(caption, code);
        return 0;
    }

    char mode[96];
    std::snprintf(mode, sizeof mode, "baud=%u parity=%c data=%d stop=%s",
                  static_cast<unsigned>(baudRate), parity, dataBits, StopBitText(stopBits));
    // A mode the port does not take: the system's reason under the mode as caption, and
    // the port closed again, once.
    const auto refuseMode = [&] {
        const uint32_t code = platform::LastError();
        ShowSystemError(mode, code);
        CloseComm(hComm);
        hComm = platform::kInvalidSerialHandle;
        return 0;
    };
    dcb = platform::DeviceControl{};
    dcb.DCBlength = sizeof dcb;
    dcb.fBinary = 1;
    if (!platform::SerialBuildDeviceControl(mode, dcb) || !platform::SerialSetState(hComm, dcb)) {
        return refuseMode();
    }

    // A mask that could not be set costs only the notifications: the protocol looks at
    // the queue itself.
    platform::SerialSetEventMask(hComm, kCommEventMask);

    // Reads return at once with whatever is queued and never wait. A port whose
    // time-outs were not applied could block the user interface on its next read, so
    // it is refused like a mode the driver does not take.
    platform::SerialTimeouts timeouts;
    bool timeoutsSet = platform::SerialGetTimeouts(hComm, timeouts);
    if (timeoutsSet) {
        timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        timeoutsSet = platform::SerialSetTimeouts(hComm, timeouts);
    }
    if (!timeoutsSet) {
        return refuseMode();
    }

    fOpen = 1;
    return 1;
}

platform::SerialHandle RS232::OpenComm(const char* portName, uint32_t rxQueueSize,
                                       uint32_t txQueueSize) {
    TraceRS232(4, "{cb}OpenComm (%s)", portName);
    const platform::SerialHandle h = platform::SerialOpen(portName);
    if (h == platform::kInvalidSerialHandle) {
        return platform::kInvalidSerialHandle;
    }
    if (!platform::SerialSetupQueues(h, rxQueueSize, txQueueSize)) {
        const uint32_t code = platform::LastError();
        platform::SerialClose(h);
        platform::SetLastError(code);
        return platform::kInvalidSerialHandle;
    }
    TraceRS232(4, "{cg}*OpenComm (%s) = %d", portName, static_cast<int>(h));
    return h;
}

void RS232::CloseComm(platform::SerialHandle h) {
    TraceRS232(4, "{cb}CloseComm (%s)", szName);
    if (hThread.joinable()) {
        fStopThread.store(1);
        stopSignal.Notify();
        while (fThreadActive.load()) {
            TraceRS232(3, "{cy}GetExitCodeThread (%s) = STILL_ACTIVE", szName);
            // A change of the mask ends the thread's pending wait. A wait that began
            // just after the change needs another one, a millisecond later.
            platform::SerialSetEventMask(h, 0);
            platform::SerialSetEventMask(h, platform::kEvRxChar);
            stopSignal.WaitFor(1, [this] { return !fThreadActive.load(); });
        }
        hThread.join();
    }
    TraceRS232(4, "{cg}*CloseComm (%s)", szName);
    platform::SerialClose(h);
    if (h == hComm) {
        hComm = platform::kInvalidSerialHandle;
    }
}
