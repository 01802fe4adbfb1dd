// Reading, writing, purging and the queue count.

#include "platform/errors.h"
#include "serial/rs232.h"
#include "support/frontend.h"
#include "support/trace.h"
#include "support/utils.h"

namespace {

constexpr uint32_t kWriteWaitMs = 3000;

}  // namespace

uint32_t RS232::ReadComm(platform::SerialHandle h, void* buffer, uint32_t count) {
    uint32_t read = 0;
    if (!platform::SerialRead(h, ovRead, buffer, count, read)) {
        // The cause, which the caller's answer time-out would otherwise hide.
        const uint32_t code = platform::LastError();
        TraceRS232(2, "{cr}*ReadComm (%s) = %d (%s)", szName, static_cast<int>(code),
                   GetSystemErrorText(code));
        read = 0;
    }
    if (read > 0) {
        HexDumpRS232(5, buffer, read, "{cc}RX: ");
    }
    return read;
}

int RS232::GetByte(uint8_t& byte) {
    platform::SerialStatus status;
    if (!platform::SerialClearError(hComm, status) || status.inQueue == 0) {
        return -1;
    }
    if (ReadComm(hComm, pRxBuffer.get(), 1) != 1) {
        return -1;
    }
    dwRxCount = 0;
    byte = pRxBuffer[0];
    TraceRS232(5, "{cc}GetByte = %d", byte);
    return 1;
}

const uint8_t* RS232::GetBlock(uint32_t& count) {
    count = ReadComm(hComm, pRxBuffer.get(), dwRxBufferSize);
    if (count == 0) {
        return nullptr;
    }
    dwRxCount = 0;
    return pRxBuffer.get();
}

uint32_t RS232::PutBlock(const void* data, uint32_t count) {
    return WriteComm(hComm, data, count);
}

uint32_t RS232::WriteComm(platform::SerialHandle h, const void* data, uint32_t count) {
    HexDumpRS232(5, data, count, "{cm}TX: ");
    fWriteRefused = false;
    // The write event is signalled while no write is in flight.
    if (!platform::SerialWaitOverlapped(ovWrite, kWriteWaitMs)) {
        TraceRS232(2, "{cr}*WriteComm (%s)", szName);
        return 0;
    }
    if (!platform::SerialWrite(h, ovWrite, data, count)) {
        const uint32_t code = platform::LastError();
        TraceRS232(2, "{cr}*WriteComm (%s) = %d (%s)", szName, static_cast<int>(code),
                   GetSystemErrorText(code));
        fWriteRefused = true;
        return 0;
    }
    return count;
}

int RS232::FlushComm(platform::SerialHandle h, int receive) {
    const int handle = static_cast<int>(h);
    TraceRS232(4, "{cy}FlushComm (%d, %d)", handle, receive);
    const uint32_t flags = receive != 0 ? platform::kPurgeRxAbort | platform::kPurgeRxClear
                                        : platform::kPurgeTxAbort | platform::kPurgeTxClear;
    if (!platform::SerialPurge(h, flags)) {
        TraceRS232(2, "{cr}*FlushComm (%d, %d) = FAILED", handle, receive);
        return 0;
    }
    TraceRS232(4, "{cg}*FlushComm (%d, %d) = Ok", handle, receive);
    return 1;
}

uint32_t RS232::GetInQueue() {
    platform::SerialStatus status;
    if (!platform::SerialClearError(hComm, status)) {
        return 0;
    }
    return status.inQueue;
}

platform::SerialWaitResult RS232::WaitInQueue(uint32_t count, uint32_t ms) {
    return platform::SerialWaitData(hComm, count, ms, FrontEndWakeDescriptor());
}
