#pragma once
// One COM port: its configuration, its receive buffer, reads that never wait, writes
// with at most one in flight, purges, and the poll thread that posts WM_COMMNOTIFY when
// characters arrive.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/serial.h"
#include "platform/types.h"
#include "platform/wake_signal.h"

// Stop-bit choices given at construction: 0 = "1", 1 = "1.5", 2 = "2".
inline constexpr int kStopBitChoices = 3;
// The events the port watches: EV_RXCHAR, EV_TXEMPTY, EV_BREAK and EV_ERR.
inline constexpr uint32_t kCommEventMask = 0x00C5;

class RS232 {
  public:
    RS232(WindowHandle hWnd, const char* name, int port, uint32_t baudRate, int dataBits,
          int stopBits, char parity, uint32_t rxQueueSize, uint32_t txQueueSize);
    RS232(const RS232&) = delete;
    RS232& operator=(const RS232&) = delete;

    // The start of the receive buffer holding every queued byte (up to its size) and
    // their count; nullptr and 0 when nothing was queued.
    virtual const uint8_t* GetBlock(uint32_t& count);
    // 1 and the byte when one is queued; -1 and nothing read when the queue is empty.
    virtual int GetByte(uint8_t& byte);
    // The result of WriteComm.
    virtual uint32_t PutBlock(const void* data, uint32_t count);
    virtual ~RS232();

    int InitComm(const char* name, int port, uint32_t baudRate, int dataBits, int stopBits,
                 char parity, uint32_t rxQueueSize, uint32_t txQueueSize);
    platform::SerialHandle OpenComm(const char* portName, uint32_t rxQueueSize,
                                    uint32_t txQueueSize);
    int FlushComm(platform::SerialHandle h, int receive);
    void CloseComm(platform::SerialHandle h);
    uint32_t ReadComm(platform::SerialHandle h, void* buffer, uint32_t count);
    uint32_t WriteComm(platform::SerialHandle h, const void* data, uint32_t count);
    uint32_t GetInQueue();
    uint32_t DisableCommEvents(platform::SerialHandle h, uint32_t events);
    int EnableCommNotification(platform::SerialHandle h, WindowHandle hWnd);
    static uint32_t PollRS232Thread(RS232* self);

    // Blocks until count bytes are queued, the user interface has messages, or ms have
    // passed, whichever comes first; the caller looks at the queue again.
    platform::SerialWaitResult WaitInQueue(uint32_t count, uint32_t ms);
    // Whether the last WriteComm failed because the driver refused the bytes (rather
    // than because the write before was still in flight).
    bool WriteRefused() const { return fWriteRefused; }

    std::unique_ptr<uint8_t[]> pRxBuffer;
    uint8_t* pRxRead = nullptr;
    uint32_t dwRxBufferSize = 0;
    uint32_t dwRxCount = 0;
    platform::SerialHandle hComm = platform::kInvalidSerialHandle;
    char szName[32] = {};
    platform::DeviceControl dcb{};
    int32_t nInitResult = 0;
    int32_t fOpen = 0;
    WindowHandle hNotifyWnd = nullptr;
    platform::SerialOverlapped ovRead;
    platform::SerialOverlapped ovWrite;
    // Start handshake and stop request of the poll thread, shared by both threads.
    std::atomic<int32_t> fStopThread{0};
    std::thread hThread;

  private:
    bool fWriteRefused = false;
    // Cleared by the poll thread as its last act: what the thread's exit code tells.
    std::atomic<bool> fThreadActive{false};
    // Told at each step of the start and stop hand-shakes, so that neither side sleeps
    // out a timer tick.
    platform::WakeSignal stopSignal;
};
