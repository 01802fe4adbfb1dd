// The RS232 class over a pseudo-terminal whose far end the test holds.

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "serial/rs232.h"
#include "serial_fixture.h"
#include "support/frontend.h"
#include "support/utils.h"

namespace {

const char kName[] = "Kovra TQ8/ZEL 5000";
WindowHandle const kWindow = reinterpret_cast<WindowHandle>(0x4711);

std::unique_ptr<RS232> OpenPort(const char* name = kName, uint32_t rate = 9600, int stop = 0,
                                char parity = 'N') {
    return std::make_unique<RS232>(kWindow, name, kPeerPort, rate, 8, stop, parity, 4096, 512);
}

size_t CountEntries(const char* dir) {
    size_t n = 0;
    if (DIR* d = opendir(dir)) {
        while (readdir(d) != nullptr) {
            ++n;
        }
        closedir(d);
    }
    return n;
}

using Rs232 = PeerTest;

TEST_F(Rs232, OpensConfiguresAndTracesTheWholeLife) {
    const std::string longName(40, 'N');
    auto port = OpenPort(longName.c_str(), 38400);
    ASSERT_EQ(port->fOpen, 1);
    EXPECT_EQ(port->nInitResult, 1);
    const std::string cut(30, 'N');
    EXPECT_STREQ(port->szName, cut.c_str()) << "names keep at most 30 characters";
    EXPECT_EQ(port->dcb.BaudRate, 38400U);
    EXPECT_EQ(port->dcb.ByteSize, 8);
    EXPECT_EQ(port->dcb.Parity, platform::kNoParity);
    EXPECT_EQ(port->dcb.StopBits, platform::kOneStopBit);
    EXPECT_EQ(port->dcb.fBinary, 1U);
    EXPECT_EQ(port->dwRxBufferSize, 4096U);
    EXPECT_EQ(port->pRxRead, port->pRxBuffer.get());

    platform::DeviceControl applied;
    ASSERT_TRUE(platform::SerialGetState(port->hComm, applied));
    EXPECT_EQ(applied.BaudRate, 38400U);
    EXPECT_EQ(applied.ByteSize, 8);
    platform::SerialTimeouts timeouts;
    ASSERT_TRUE(platform::SerialGetTimeouts(port->hComm, timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 0xFFFFFFFFU);
    uint32_t mask = 0;
    ASSERT_TRUE(platform::SerialGetEventMask(port->hComm, mask));
    EXPECT_EQ(mask, kCommEventMask);

    const int fd = static_cast<int>(port->hComm);
    EXPECT_TRUE(trace.Has("{cb}OpenComm (COM5)"));
    EXPECT_TRUE(trace.Has("{cg}*OpenComm (COM5) = " + std::to_string(fd)));
    EXPECT_TRUE(trace.Has("{cb}EnableCommNotification (" + cut + ")"));
    EXPECT_TRUE(trace.Has("{cb}PollRS232Thread (" + cut + ")"));
    EXPECT_TRUE(trace.Has("{cg}*EnableCommNotification (" + cut + ")"));

    trace.Clear();
    port.reset();
    const auto lines = trace.Lines();
    const int destructor = LineIndex(lines, "{cb}Destructor::RS232 (" + cut + ")");
    const int close = LineIndex(lines, "{cb}CloseComm (" + cut + ")");
    const int threadEnd = LineIndex(lines, "{cg}*PollRS232Thread (" + cut + ")");
    const int closed = LineIndex(lines, "{cg}*CloseComm (" + cut + ")");
    const int destroyed = LineIndex(lines, "{cg}*Destructor::RS232 (" + cut + ")");
    ASSERT_GE(destructor, 0);
    EXPECT_LT(destructor, close);
    EXPECT_LT(close, threadEnd);
    EXPECT_LT(threadEnd, closed) << "the thread ends before the port is closed";
    EXPECT_LT(closed, destroyed);
    EXPECT_EQ(lines.back(), "{cg}*Destructor::RS232 (" + cut + ")");
    for (const auto& line : lines) {
        if (line.rfind("{cy}GetExitCodeThread", 0) == 0) {
            EXPECT_EQ(line, "{cy}GetExitCodeThread (" + cut + ") = STILL_ACTIVE");
        }
    }
}

// Counts close() per descriptor, to prove that every descriptor closes exactly once.
std::mutex gCloseMutex;
std::map<int, int> gCloses;
int CountingClose(int fd) {
    {
        std::lock_guard<std::mutex> lock(gCloseMutex);
        ++gCloses[fd];
    }
    return platform::NativeSerialCalls().close(fd);
}
int gOpened = -1;
int RememberingOpen(const char* path, int flags) {
    gOpened = platform::NativeSerialCalls().open(path, flags);
    return gOpened;
}

TEST_F(Rs232, FailedOpensShowOneBoxRunNoThreadAndCloseNothingTwice) {
    struct Case {
        const char* what;
        const char* device;  // nullptr: the peer's pty
        int stopChoice;
        char parity;
        bool secondOpen;
        std::string caption;
        int error;
    } cases[] = {
        {"missing device", "/nonexistent/tty", 0, 'N', false, std::string(kName) + ": COM5",
         ENOENT},
        {"not a terminal", "/dev/null", 0, 'N', false, std::string(kName) + ": COM5", ENOTTY},
        {"busy", nullptr, 0, 'N', true, std::string(kName) + ": COM5", EBUSY},
        {"mode refused", nullptr, 1, 'N', false, "baud=9600 parity=N data=8 stop=1.5", EINVAL},
        {"stop choice unknown", nullptr, 7, 'N', false, "baud=9600 parity=N data=8 stop=", EINVAL},
        {"parity the pty drops", nullptr, 0, 'M', false, "baud=9600 parity=M data=8 stop=1",
         EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string device = c.device != nullptr ? c.device : peer.SlavePath();
        platform::MapSerialPort(kPeerPort, device);
        std::unique_ptr<RS232> holder;
        if (c.secondOpen) {
            holder = OpenPort();
            ASSERT_EQ(holder->fOpen, 1);
        }
        scripted::Reset();
        trace.Clear();
        {
            std::lock_guard<std::mutex> lock(gCloseMutex);
            gCloses.clear();
        }
        gOpened = -1;
        FaultTable faults;
        faults.Edit().close = CountingClose;
        faults.Edit().open = RememberingOpen;
        faults.Install();

        auto port = OpenPort(kName, 9600, c.stopChoice, c.parity);
        EXPECT_EQ(port->fOpen, 0);
        EXPECT_EQ(port->nInitResult, 0);
        const auto boxes = scripted::Boxes();
        ASSERT_EQ(boxes.size(), 1U);
        // A port that cannot be opened names the device it is bound to.
        EXPECT_EQ(boxes[0].caption,
                  c.error == EINVAL ? c.caption : c.caption + " (" + device + ")");
        EXPECT_EQ(boxes[0].text, GetSystemErrorText(static_cast<uint32_t>(c.error)));
        EXPECT_EQ(boxes[0].type & kMbIconMask, kMbIconError);
        EXPECT_EQ(trace.CountPrefix("{cb}EnableCommNotification"), 0U);
        EXPECT_FALSE(port->hThread.joinable());
        port.reset();
        if (gOpened >= 0) {
            std::lock_guard<std::mutex> lock(gCloseMutex);
            EXPECT_EQ(gCloses[gOpened], 1) << "the device is closed exactly once";
        }
        EXPECT_EQ(trace.Count("{cb}CloseComm (" + std::string(kName) + ")"),
                  c.error == EINVAL ? 1U : 0U);
    }
}

TEST_F(Rs232, ReadsOnlyWhatIsQueued) {
    auto port = OpenPort();
    ASSERT_EQ(port->fOpen, 1);
    trace.Clear();
    uint8_t byte = 0x55;
    EXPECT_EQ(port->GetByte(byte), -1);
    EXPECT_EQ(byte, 0x55);
    uint32_t count = 99;
    EXPECT_EQ(port->GetBlock(count), nullptr);
    EXPECT_EQ(count, 0U);
    EXPECT_TRUE(trace.Dumps().empty()) << "an empty queue is not dumped";
    EXPECT_EQ(trace.CountPrefix("{cc}GetByte"), 0U);

    peer.Send({0xAB});
    ASSERT_TRUE(Eventually([&] { return port->GetInQueue() == 1; }));
    EXPECT_EQ(port->GetByte(byte), 1);
    EXPECT_EQ(byte, 0xAB);
    EXPECT_TRUE(trace.Has("{cc}GetByte = 171"));
    ASSERT_EQ(trace.Dumps().size(), 1U);
    EXPECT_EQ(trace.Dumps()[0].label, "{cc}RX: ");
    EXPECT_EQ(trace.Dumps()[0].bytes, std::vector<uint8_t>{0xAB});

    peer.Send({1, 2, 3, 4, 5});
    ASSERT_TRUE(Eventually([&] { return port->GetInQueue() == 5; }));
    const uint8_t* block = port->GetBlock(count);
    ASSERT_EQ(block, port->pRxBuffer.get());
    EXPECT_EQ(std::vector<uint8_t>(block, block + count), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(port->GetInQueue(), 0U);
}

TEST_F(Rs232, WritesDumpFirstAndArriveWhole) {
    auto port = OpenPort();
    ASSERT_EQ(port->fOpen, 1);
    trace.Clear();
    const std::vector<uint8_t> frame{0x11, 0x00, 0x04};
    EXPECT_EQ(port->PutBlock(frame.data(), 3), 3U);
    ASSERT_TRUE(peer.WaitReceived(3, 5000));
    EXPECT_EQ(peer.Received(), frame);
    ASSERT_EQ(trace.Dumps().size(), 1U);
    EXPECT_EQ(trace.Dumps()[0].label, "{cm}TX: ");
    EXPECT_EQ(trace.Dumps()[0].bytes, frame);
}

// Every descriptor takes at most three bytes per call (an eventfd takes eight or none,
// so the wake-ups of the event wait are left whole).
ssize_t ShortWrite(int fd, const void* data, size_t count) {
    return platform::NativeSerialCalls().write(fd, data,
                                               count == 8 ? count : std::min<size_t>(count, 3));
}

TEST_F(Rs232, ShortWritesAreCompletedInOrderInTheBackground) {
    auto port = OpenPort();
    ASSERT_EQ(port->fOpen, 1);
    FaultTable faults;
    faults.Edit().write = ShortWrite;
    faults.Install();
    std::vector<uint8_t> expected;
    for (int block = 0; block < 10; ++block) {
        uint8_t bytes[32];
        for (int i = 0; i < 32; ++i) {
            bytes[i] = static_cast<uint8_t>(block * 32 + i);
        }
        expected.insert(expected.end(), bytes, bytes + 32);
        // The caller's buffer is gone before the write has completed.
        EXPECT_EQ(port->PutBlock(bytes, 32), 32U);
    }
    ASSERT_TRUE(peer.WaitReceived(expected.size(), 5000));
    EXPECT_EQ(peer.Received(), expected);
}

std::atomic<int> gStallAfter{0};
std::atomic<int> gStalledFd{-1};
// The device takes two bytes and then nothing more; other descriptors work.
ssize_t StallingWrite(int fd, const void* data, size_t count) {
    if (fd != gStalledFd.load()) {
        return platform::NativeSerialCalls().write(fd, data, count);
    }
    if (gStallAfter.fetch_sub(1) > 0) {
        return platform::NativeSerialCalls().write(fd, data, std::min<size_t>(count, 2));
    }
    errno = EAGAIN;
    return -1;
}

TEST_F(Rs232, SecondWriteGivesUpAfterThreeSecondsWhileTheFirstStalls) {
    auto port = OpenPort();
    ASSERT_EQ(port->fOpen, 1);
    FaultTable faults;
    faults.Edit().write = StallingWrite;
    gStallAfter = 1;
    gStalledFd = static_cast<int>(port->hComm);
    faults.Install();
    const uint8_t first[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(port->PutBlock(first, sizeof first), 8U) << "the write is in flight";
    trace.Clear();
    const uint8_t second[2] = {9, 10};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port->PutBlock(second, sizeof second), 0U);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
    EXPECT_TRUE(trace.Has(std::string("{cr}*WriteComm (") + kName + ")"));
    EXPECT_EQ(peer.Received(), (std::vector<uint8_t>{1, 2})) << "nothing of the second write";
    port.reset();  // cancels the stalled write and ends cleanly
    EXPECT_TRUE(trace.Has(std::string("{cg}*Destructor::RS232 (") + kName + ")"));
}

int FailingFlush(int, int) {
    errno = EIO;
    return -1;
}

TEST_F(Rs232, FlushReportsOkAndFailure) {
    auto port = OpenPort();
    ASSERT_EQ(port->fOpen, 1);
    const int fd = static_cast<int>(port->hComm);
    // Built step by step: GCC 12 at -O3 warns falsely (-Wrestrict) on the chained form.
    std::string args = "(";
    args += std::to_string(fd);
    args += ", 1)";
    peer.Send({7, 7, 7});
    ASSERT_TRUE(Eventually([&] { return port->GetInQueue() == 3; }));
    trace.Clear();
    EXPECT_EQ(port->FlushComm(port->hComm, 1), 1);
    EXPECT_EQ(port->GetInQueue(), 0U);
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{"{cy}FlushComm " + args,
                                                       "{cg}*FlushComm " + args + " = Ok"}));

    FaultTable faults;
    faults.Edit().tcflush = FailingFlush;
    faults.Install();
    trace.Clear();
    EXPECT_EQ(port->FlushComm(port->hComm, 0), 0);
    EXPECT_TRUE(trace.Has("{cr}*FlushComm (" + std::to_string(fd) + ", 0) = FAILED"));
}

TEST_F(Rs232, PollThreadPostsOneNotifyPerArrivalAndStartsOnce) {
    auto port = OpenPort();
    ASSERT_EQ(port->fOpen, 1);
    trace.Clear();
    EXPECT_EQ(port->EnableCommNotification(port->hComm, kWindow), 0);
    EXPECT_TRUE(trace.Lines().empty()) << "a running thread is left alone";

    peer.Send({0x42});
    ASSERT_TRUE(Eventually([] { return !scripted::Posts().empty(); }));
    const auto post = scripted::Posts().front();
    EXPECT_EQ(post.window, kWindow);
    EXPECT_EQ(post.message, kWmCommNotify);
    EXPECT_EQ(post.wParam, static_cast<uintptr_t>(port->hComm));
    EXPECT_EQ(post.lParam, kCnReceive);
}

TEST_F(Rs232, VanishedDeviceFailsCleanlyWithoutFloodingTheTrace) {
    auto port = OpenPort();
    ASSERT_EQ(port->fOpen, 1);
    trace.Clear();
    peer.Vanish();
    ASSERT_TRUE(Eventually([&] { return trace.CountPrefix("{cr}*WaitCommEvent") > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(trace.CountPrefix("{cr}*WaitCommEvent"), 1U) << "one line per run of failures";
    EXPECT_TRUE(trace.Has(std::string("{cr}*WaitCommEvent (") + kName +
                          ") = " + std::to_string(EIO) + " (" + GetSystemErrorText(EIO) + ")"));
    uint8_t byte = 0;
    EXPECT_EQ(port->GetByte(byte), -1);
    const uint8_t frame[3] = {0x11, 0, 8};
    EXPECT_EQ(port->PutBlock(frame, 3), 0U);
    EXPECT_TRUE(trace.Has(std::string("{cr}*WriteComm (") + kName + ") = " + std::to_string(EIO) +
                          " (" + GetSystemErrorText(EIO) + ")"));
    port.reset();
    EXPECT_TRUE(trace.Has(std::string("{cg}*Destructor::RS232 (") + kName + ")"));
}

TEST_F(Rs232, FailedReadIsTracedWithItsCause) {
    auto port = OpenPort();
    FaultTable faults;
    faults.Edit().read = [](int, void*, size_t) -> ssize_t { return errno = ENXIO, -1; };
    faults.Install();
    trace.Clear();
    uint8_t buffer[4];
    EXPECT_EQ(port->ReadComm(port->hComm, buffer, sizeof buffer), 0U);
    EXPECT_EQ(trace.Lines(), std::vector<std::string>{std::string("{cr}*ReadComm (") + kName +
                                                      ") = 6 (" + GetSystemErrorText(ENXIO) + ")"});
}

TEST_F(Rs232, ThousandsOfStartsAndStopsLeakNothing) {
    TraceLevels quiet(2);
    {
        auto warm = OpenPort();  // first-use allocations of the libraries
    }
    const size_t fds = CountEntries("/proc/self/fd");
    const size_t threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 2000; ++i) {
        auto port = OpenPort();
        ASSERT_EQ(port->fOpen, 1) << "round " << i;
        if (i % 2 == 0) {
            // Stop right away, and also with a notification in flight.
            peer.Send({static_cast<uint8_t>(i)});
        }
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
    EXPECT_TRUE(scripted::Boxes().empty());
}

}  // namespace
