// The RS232 class over the Win32 serial service with a fake port behind the system-call
// table: the poll thread's start and stop, a write that stalls, a port that refuses its
// settings, and a device that vanishes (ERROR_BAD_COMMAND).

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "platform/errors.h"
#include "platform/network_port.h"
#include "platform/win32/serial_sys.h"
#include "scripted_frontend.h"
#include "serial/rs232.h"
#include "support/frontend.h"
#include "support/utils.h"
#include "trace_capture.h"

namespace {

HANDLE const kFakePort = reinterpret_cast<HANDLE>(0x4321);

struct FakePort {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<uint8_t> incoming;
    std::vector<uint8_t> written;
    std::map<const OVERLAPPED*, DWORD> transferred;
    const OVERLAPPED* waiting = nullptr;
    DWORD* waitMask = nullptr;
    uint64_t maskChanges = 0;
    DWORD mask = 0;
    int closes = 0;
    int closesUnderAWait = 0;  // while a wait on the device was pending
    bool stallWrites = false;
    bool vanished = false;
    bool refuseState = false;
    bool refuseGetTimeouts = false;
    bool refuseSetTimeouts = false;
    bool refuseMask = false;
    bool abortOnMaskChange = false;  // as wine ends a pending wait when the mask changes
    bool waitsEndAlone = false;      // as wine ends a wait on a pty after a millisecond
    int waits = 0;
    COMMTIMEOUTS timeouts{};
    OVERLAPPED* pendingRead = nullptr;  // a read that waits for its first byte
    uint8_t* pendingBuffer = nullptr;
};
FakePort* gPort = nullptr;

BOOL Gone() {
    ::SetLastError(ERROR_BAD_COMMAND);
    return FALSE;
}

HANDLE WINAPI FakeCreateFile(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return kFakePort;
}
BOOL WINAPI FakeCloseHandle(HANDLE) {
    std::lock_guard<std::mutex> lock(gPort->mutex);
    ++gPort->closes;
    gPort->closesUnderAWait += gPort->waiting != nullptr ? 1 : 0;
    return TRUE;
}
BOOL WINAPI FakeSetupComm(HANDLE, DWORD, DWORD) {
    return TRUE;
}
BOOL WINAPI FakeGetCommState(HANDLE, LPDCB) {
    return TRUE;
}
BOOL WINAPI FakeSetCommState(HANDLE, LPDCB) {
    if (gPort->refuseState) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
BOOL WINAPI FakeGetTimeouts(HANDLE, LPCOMMTIMEOUTS t) {
    if (gPort->refuseGetTimeouts) {
        ::SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(gPort->mutex);
    *t = gPort->timeouts;
    return TRUE;
}
BOOL WINAPI FakeSetTimeouts(HANDLE, LPCOMMTIMEOUTS t) {
    if (gPort->refuseSetTimeouts) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(gPort->mutex);
    gPort->timeouts = *t;
    return TRUE;
}
BOOL WINAPI FakeGetCommMask(HANDLE, LPDWORD mask) {
    std::lock_guard<std::mutex> lock(gPort->mutex);
    *mask = gPort->mask;
    return TRUE;
}
BOOL WINAPI FakeSetCommMask(HANDLE, DWORD mask) {
    {
        std::lock_guard<std::mutex> lock(gPort->mutex);
        if (gPort->refuseMask) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        gPort->mask = mask;
        ++gPort->maskChanges;
    }
    gPort->changed.notify_all();
    return TRUE;
}
BOOL WINAPI FakeWaitCommEvent(HANDLE, LPDWORD mask, LPOVERLAPPED ov) {
    std::lock_guard<std::mutex> lock(gPort->mutex);
    if (gPort->vanished) {
        return Gone();
    }
    gPort->waiting = ov;
    gPort->waitMask = mask;
    ++gPort->waits;
    ::SetLastError(ERROR_IO_PENDING);
    return FALSE;
}
BOOL WINAPI FakeClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT stat) {
    std::lock_guard<std::mutex> lock(gPort->mutex);
    if (gPort->vanished) {
        return Gone();
    }
    *errors = 0;
    *stat = COMSTAT{};
    stat->cbInQue = static_cast<DWORD>(gPort->incoming.size());
    return TRUE;
}
BOOL WINAPI FakePurge(HANDLE, DWORD) {
    return TRUE;
}
BOOL WINAPI FakeReadFile(HANDLE, LPVOID buffer, DWORD count, LPDWORD, LPOVERLAPPED ov) {
    std::lock_guard<std::mutex> lock(gPort->mutex);
    if (gPort->vanished) {
        return Gone();
    }
    const COMMTIMEOUTS& t = gPort->timeouts;
    if (gPort->incoming.empty() && count > 0 && t.ReadIntervalTimeout == MAXDWORD &&
        t.ReadTotalTimeoutMultiplier == MAXDWORD) {
        gPort->pendingRead = ov;
        gPort->pendingBuffer = static_cast<uint8_t*>(buffer);
        ov->Internal = STATUS_PENDING;
        ::ResetEvent(ov->hEvent);
        ::SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    DWORD n = 0;
    while (n < count && !gPort->incoming.empty()) {
        static_cast<uint8_t*>(buffer)[n++] = gPort->incoming.front();
        gPort->incoming.pop_front();
    }
    gPort->transferred[ov] = n;
    ::SetEvent(ov->hEvent);
    return TRUE;
}
BOOL WINAPI FakeWriteFile(HANDLE, LPCVOID data, DWORD count, LPDWORD, LPOVERLAPPED ov) {
    std::lock_guard<std::mutex> lock(gPort->mutex);
    if (gPort->vanished) {
        return Gone();
    }
    if (gPort->stallWrites) {
        ::ResetEvent(ov->hEvent);
        ::SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    gPort->written.insert(gPort->written.end(), bytes, bytes + count);
    gPort->transferred[ov] = count;
    ::SetEvent(ov->hEvent);
    return TRUE;
}
// The event wait ends when the mask changes (with no events) or data arrives.
BOOL WINAPI FakeGetOverlappedResult(HANDLE, LPOVERLAPPED ov, LPDWORD done, BOOL) {
    std::unique_lock<std::mutex> lock(gPort->mutex);
    if (ov == gPort->pendingRead) {
        ::SetLastError(ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    if (ov != gPort->waiting) {
        *done = gPort->transferred[ov];
        return TRUE;
    }
    const uint64_t changes = gPort->maskChanges;
    const auto ended = [&] { return gPort->maskChanges != changes || !gPort->incoming.empty(); };
    if (gPort->waitsEndAlone) {
        if (!gPort->changed.wait_for(lock, std::chrono::milliseconds(1), ended)) {
            gPort->waiting = nullptr;
            ::SetLastError(ERROR_OPERATION_ABORTED);
            return FALSE;
        }
    } else {
        gPort->changed.wait(lock, ended);
    }
    const bool changedMask = gPort->maskChanges != changes;
    gPort->waiting = nullptr;
    if (changedMask && gPort->abortOnMaskChange) {
        ::SetLastError(ERROR_OPERATION_ABORTED);
        return FALSE;
    }
    *gPort->waitMask = changedMask ? 0 : EV_RXCHAR;
    *done = 0;
    return TRUE;
}
BOOL WINAPI FakeCancelIo(HANDLE) {
    return TRUE;
}
// Ends a pending read with what it has: nothing.
void EndPendingRead(DWORD status, DWORD count) {
    OVERLAPPED* ov = gPort->pendingRead;
    gPort->pendingRead = nullptr;
    ov->Internal = status;
    ov->InternalHigh = count;
    gPort->transferred[ov] = count;
    ::SetEvent(ov->hEvent);
}
BOOL WINAPI FakeCancelIoEx(HANDLE, LPOVERLAPPED ov) {
    std::lock_guard<std::mutex> lock(gPort->mutex);
    if (ov == nullptr || ov != gPort->pendingRead) {
        ::SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    EndPendingRead(0xC0000120 /* STATUS_CANCELLED */, 0);
    return TRUE;
}

class Win32Serial : public ::testing::Test {
  protected:
    void SetUp() override {
        gPort = &port;
        table = platform::NativeSerialCalls();
        table.CreateFileA = FakeCreateFile;
        table.CloseHandle = FakeCloseHandle;
        table.SetupComm = FakeSetupComm;
        table.GetCommState = FakeGetCommState;
        table.SetCommState = FakeSetCommState;
        table.GetCommTimeouts = FakeGetTimeouts;
        table.SetCommTimeouts = FakeSetTimeouts;
        table.GetCommMask = FakeGetCommMask;
        table.SetCommMask = FakeSetCommMask;
        table.WaitCommEvent = FakeWaitCommEvent;
        table.ClearCommError = FakeClearCommError;
        table.PurgeComm = FakePurge;
        table.ReadFile = FakeReadFile;
        table.WriteFile = FakeWriteFile;
        table.GetOverlappedResult = FakeGetOverlappedResult;
        table.CancelIo = FakeCancelIo;
        table.CancelIoEx = FakeCancelIoEx;
        platform::SetSerialCalls(table);
        scripted::Reset();
    }
    void TearDown() override {
        platform::RestoreSerialCalls();
        gPort = nullptr;
    }
    std::unique_ptr<RS232> Open() {
        return std::make_unique<RS232>(nullptr, "Kovra TQ8/ZEL 5000", 3, 9600, 8, 0, 'N', 4096,
                                       512);
    }
    void Arrive(std::initializer_list<uint8_t> bytes) {
        {
            std::lock_guard<std::mutex> lock(port.mutex);
            auto next = bytes.begin();
            if (port.pendingRead != nullptr && next != bytes.end()) {
                *port.pendingBuffer = *next++;
                EndPendingRead(0, 1);
            }
            port.incoming.insert(port.incoming.end(), next, bytes.end());
        }
        port.changed.notify_all();
    }

    FakePort port;
    platform::SerialCalls table{};
    TraceLevels levels{5};
    TraceCapture trace;
};

TEST_F(Win32Serial, PollThreadStartsAndStopsThousandsOfTimes) {
    TraceLevels quiet(2);
    for (int i = 0; i < 2000; ++i) {
        port.abortOnMaskChange = i % 2 == 1;
        auto rs = Open();
        ASSERT_EQ(rs->fOpen, 1);
    }
    EXPECT_EQ(port.closes, 2000) << "one close per open";
    EXPECT_TRUE(trace.Lines().empty()) << "a wait ended by the mask is no failure";
}

TEST_F(Win32Serial, ReadsWritesAndNotifies) {
    auto rs = Open();
    ASSERT_EQ(rs->fOpen, 1);
    Arrive({0x06, 0x02});
    ASSERT_EQ(rs->GetInQueue(), 2U);
    uint8_t byte = 0;
    EXPECT_EQ(rs->GetByte(byte), 1);
    EXPECT_EQ(byte, 0x06);
    EXPECT_TRUE(trace.Has("{cc}GetByte = 6"));
    const uint8_t frame[3] = {0x11, 0x00, 0x08};
    EXPECT_EQ(rs->PutBlock(frame, 3), 3U);
    EXPECT_EQ(port.written, (std::vector<uint8_t>{0x11, 0x00, 0x08}));
    EXPECT_EQ(rs->WaitInQueue(1, 5000), platform::SerialWaitResult::Data);
    // The poll thread posts on its own schedule, not before the wait returns.
    const DWORD start = ::GetTickCount();
    while (scripted::Posts().empty() && ::GetTickCount() - start < 5000) {
        ::Sleep(1);
    }
    EXPECT_FALSE(scripted::Posts().empty()) << "the arrival was posted";
}

// Waits that end by themselves with no event (wine on a pty) must not make the poll thread
// start a new wait every millisecond, and the port must still close at once.
TEST_F(Win32Serial, WaitsThatEndByThemselvesRestThePollThread) {
    TraceLevels failuresOnly(2);
    port.waitsEndAlone = true;
    auto rs = Open();
    ASSERT_EQ(rs->fOpen, 1);
    ::Sleep(500);
    int waits = 0;
    {
        std::lock_guard<std::mutex> lock(port.mutex);
        waits = port.waits;
    }
    EXPECT_GE(waits, 2) << "the thread keeps waiting";
    EXPECT_LE(waits, 20) << "a wait every millisecond";
    Arrive({0x06});
    EXPECT_EQ(rs->WaitInQueue(1, 5000), platform::SerialWaitResult::Data);
    rs.reset();
    EXPECT_EQ(port.closes, 1);
    EXPECT_TRUE(trace.Lines().empty()) << "a wait that ended by itself is no failure";
}

// A wait for data reads one byte ahead. That byte counts as queued, comes before the bytes
// behind it, goes with a purge of the input, and no read is left in flight at the close.
TEST_F(Win32Serial, AByteReadAheadKeepsItsPlace) {
    auto rs = Open();
    ASSERT_EQ(rs->fOpen, 1);
    const auto waitAhead = [&] {
        EXPECT_EQ(rs->WaitInQueue(1, 2), platform::SerialWaitResult::Timeout);
        std::lock_guard<std::mutex> lock(port.mutex);
        return port.pendingRead != nullptr;
    };
    ASSERT_TRUE(waitAhead());
    EXPECT_EQ(port.timeouts.ReadTotalTimeoutMultiplier, 0U) << "the port's own time-outs";
    Arrive({0x06, 0x15, 0x30});
    EXPECT_EQ(rs->WaitInQueue(1, 5000), platform::SerialWaitResult::Data);
    EXPECT_EQ(rs->GetInQueue(), 3U);
    uint32_t count = 0;
    const uint8_t* got = rs->GetBlock(count);
    ASSERT_EQ(count, 3U);
    EXPECT_EQ(std::vector<uint8_t>(got, got + count), (std::vector<uint8_t>{0x06, 0x15, 0x30}));

    ASSERT_TRUE(waitAhead());
    Arrive({0x07});
    EXPECT_EQ(rs->FlushComm(rs->hComm, 1), 1);
    EXPECT_EQ(rs->GetInQueue(), 0U) << "the purged input is gone";

    ASSERT_TRUE(waitAhead());
    rs.reset();
    EXPECT_EQ(port.pendingRead, nullptr) << "the close ends the read first";
    EXPECT_EQ(port.closes, 1);
}

TEST_F(Win32Serial, CloseDuringAWaitOnAnotherThreadClosesTheDeviceAfterIt) {
    const platform::SerialHandle h = platform::SerialOpen("COM3");
    bool ok = true;
    std::thread waiter([&] {
        uint32_t events = 0;
        ok = platform::SerialWaitEvent(h, events);
    });
    for (bool waiting = false; !waiting; ::Sleep(1)) {
        std::lock_guard<std::mutex> lock(port.mutex);
        waiting = port.waits > 0;
    }
    EXPECT_TRUE(platform::SerialClose(h));
    FakeSetCommMask(kFakePort, 0);  // should the close have left the wait pending
    waiter.join();
    EXPECT_FALSE(ok) << "the wait ends with the port";
    EXPECT_EQ(port.closesUnderAWait, 0) << "the handle's value was still in use";
}

TEST_F(Win32Serial, StalledWriteBlocksTheNextForThreeSeconds) {
    auto rs = Open();
    ASSERT_EQ(rs->fOpen, 1);
    port.stallWrites = true;
    const uint8_t first[2] = {1, 2};
    EXPECT_EQ(rs->PutBlock(first, 2), 2U);
    trace.Clear();
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(rs->PutBlock(first, 2), 0U);
    EXPECT_GE(::GetTickCount() - start, 2900U);
    EXPECT_TRUE(trace.Has("{cr}*WriteComm (Kovra TQ8/ZEL 5000)"));
}

TEST_F(Win32Serial, RefusedSettingsCloseThePortOnce) {
    port.refuseState = true;
    auto rs = Open();
    EXPECT_EQ(rs->fOpen, 0);
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].caption, "baud=9600 parity=N data=8 stop=1");
    rs.reset();
    EXPECT_EQ(port.closes, 1);
}

TEST_F(Win32Serial, TimeoutsThatCannotBeSetRefuseThePort) {
    // Without its time-outs a read could wait for data and block the user interface.
    for (const bool getFails : {true, false}) {
        SCOPED_TRACE(getFails ? "reading the time-outs fails" : "setting them fails");
        port.refuseGetTimeouts = getFails;
        port.refuseSetTimeouts = !getFails;
        port.closes = 0;
        scripted::Reset();
        auto rs = Open();
        EXPECT_EQ(rs->fOpen, 0);
        EXPECT_EQ(rs->nInitResult, 0);
        EXPECT_EQ(rs->hComm, platform::kInvalidSerialHandle);
        ASSERT_EQ(scripted::Boxes().size(), 1U);
        EXPECT_EQ(scripted::Boxes()[0].caption, "baud=9600 parity=N data=8 stop=1");
        EXPECT_EQ(scripted::Boxes()[0].type & kMbIconMask, kMbIconError);
        rs.reset();
        EXPECT_EQ(port.closes, 1);
    }
}

TEST_F(Win32Serial, AMaskThatCannotBeSetStillOpensThePort) {
    port.refuseMask = true;
    auto rs = Open();
    EXPECT_EQ(rs->fOpen, 1);
    EXPECT_TRUE(scripted::Boxes().empty());
    port.refuseMask = false;
    rs.reset();
    EXPECT_EQ(port.closes, 1);
}

TEST_F(Win32Serial, VanishedDeviceFailsEveryCallAndTracesOnce) {
    auto rs = Open();
    ASSERT_EQ(rs->fOpen, 1);
    trace.Clear();
    {
        std::lock_guard<std::mutex> lock(port.mutex);
        port.vanished = true;
    }
    FakeSetCommMask(kFakePort, kCommEventMask);  // ends the pending wait
    ::Sleep(200);
    EXPECT_EQ(trace.CountPrefix("{cr}*WaitCommEvent"), 1U);
    EXPECT_TRUE(trace.Has("{cr}*WaitCommEvent (Kovra TQ8/ZEL 5000) = 22 (" +
                          std::string(GetSystemErrorText(ERROR_BAD_COMMAND)) + ")"));
    uint8_t byte = 0;
    EXPECT_EQ(rs->GetByte(byte), -1);
    EXPECT_EQ(rs->GetInQueue(), 0U);
    EXPECT_EQ(rs->PutBlock(&byte, 1), 0U);
    rs.reset();
    EXPECT_EQ(port.closes, 1);
    EXPECT_TRUE(trace.Has("{cg}*Destructor::RS232 (Kovra TQ8/ZEL 5000)"));
}

TEST(Win32NetworkPort, IsRefusedWithItsOwnText) {
    platform::MapSerialPort(9, "rfc2217://127.0.0.1:2217");
    EXPECT_EQ(platform::SerialOpen("COM9"), platform::kInvalidSerialHandle);
    platform::MapSerialPort(9, "");
    EXPECT_EQ(platform::LastError(), platform::kErrorNetworkPortUnsupported);
    EXPECT_NE(platform::SystemMessage(platform::LastError()).find("Linux"), std::string::npos);
}

}  // namespace
