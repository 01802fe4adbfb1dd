// The POSIX serial service below the RS232 class: mode texts, port names, the waits,
// and failures forced through the system-call table.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/serial.h"
#include "platform/serial_ports.h"
#include "serial_fixture.h"

namespace {

using platform::DeviceControl;

TEST(SerialMode, ReadsTheFourFieldsLikeTheWin32Builder) {
    struct Case {
        const char* mode;
        bool ok;
        uint32_t baud;
        uint8_t parity, data, stop;
    } cases[] = {
        {"baud=9600 parity=N data=8 stop=1", true, 9600, 0, 8, 0},
        {"baud=38400 parity=n data=8 stop=1", true, 38400, 0, 8, 0},
        {"BAUD=1200 PARITY=E DATA=7 STOP=2", true, 1200, 2, 7, 2},
        {"baud=9600 parity=O data=5 stop=1.5", true, 9600, 1, 5, 1},
        {"baud=9600 parity=M data=8 stop=1", true, 9600, 3, 8, 0},
        {"baud=9600 parity=S data=8 stop=1", true, 9600, 4, 8, 0},
        {"  baud=19200   parity=N ", true, 19200, 0, 0, 0},
        {"baud=9600 parity=X data=8 stop=1", false, 0, 0, 0, 0},
        {"baud=9600 parity=N data=9 stop=1", false, 0, 0, 0, 0},
        {"baud=9600 parity=N data=4 stop=1", false, 0, 0, 0, 0},
        {"baud=9600 parity=N data=8 stop=3", false, 0, 0, 0, 0},
        {"baud=9600 parity=N data=8 stop=", false, 0, 0, 0, 0},
        {"baud= parity=N data=8 stop=1", false, 0, 0, 0, 0},
        {"baud=0 parity=N data=8 stop=1", false, 0, 0, 0, 0},
        {"baud=96x0", false, 0, 0, 0, 0},
        {"speed=9600", false, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        DeviceControl dcb;
        dcb.DCBlength = sizeof dcb;
        errno = 0;
        ASSERT_EQ(platform::SerialBuildDeviceControl(c.mode, dcb), c.ok);
        if (!c.ok) {
            EXPECT_EQ(errno, EINVAL);
            EXPECT_EQ(dcb.BaudRate, 0U) << "a refused text changes nothing";
            continue;
        }
        EXPECT_EQ(dcb.BaudRate, c.baud);
        EXPECT_EQ(dcb.Parity, c.parity);
        EXPECT_EQ(dcb.ByteSize, c.data);
        EXPECT_EQ(dcb.StopBits, c.stop);
        EXPECT_EQ(dcb.fBinary, 1U);
        EXPECT_EQ(dcb.DCBlength, sizeof dcb) << "fields the text doesn't name stay";
    }
}

class PortNames : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tq8-ports-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old != nullptr) {
            saved_ = old;
            hadOld_ = true;
        }
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (hadOld_) {
            setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        std::remove((dir_ + "/Ostrelwerk/TQ8Flash.ini").c_str());
        rmdir((dir_ + "/Ostrelwerk").c_str());
        rmdir(dir_.c_str());
    }
    std::string dir_, saved_;
    bool hadOld_ = false;
};

TEST_F(PortNames, ResolveThroughOverrideMappingSettingsAndDefault) {
    ASSERT_TRUE(platform::MakeDirectories(dir_ + "/Ostrelwerk"));
    ASSERT_TRUE(platform::WriteFileAtomically(dir_ + "/Ostrelwerk/TQ8Flash.ini",
                                              "[Ports]\nCOM3=/dev/ttyUSB7\ncom6 = /dev/ttyACM0\n"));
    EXPECT_EQ(platform::SerialDevicePath("COM3"), "/dev/ttyUSB7");
    EXPECT_EQ(platform::SerialDevicePath("COM6"), "/dev/ttyACM0");
    EXPECT_EQ(platform::SerialDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(platform::SerialDevicePath("com4"), "/dev/ttyS3");
    EXPECT_EQ(platform::SerialDevicePath("/dev/ttyAMA0"), "/dev/ttyAMA0");

    platform::MapSerialPort(3, "/dev/pts/77");
    EXPECT_EQ(platform::SerialDevicePath("COM3"), "/dev/pts/77") << "a mapped port comes first";
    platform::SetSerialDeviceOverride("/dev/ttyUSB1");
    EXPECT_EQ(platform::SerialDevicePath("COM3"), "/dev/ttyUSB1");
    EXPECT_EQ(platform::SerialDevicePath("COM8"), "/dev/ttyUSB1");
    platform::SetSerialDeviceOverride("");
    platform::MapSerialPort(3, "");
    EXPECT_EQ(platform::SerialDevicePath("COM3"), "/dev/ttyUSB7");

    struct {
        const char* name;
        int number;
    } numbers[] = {{"COM1", 1}, {"com12", 12}, {"COM", 0}, {"COM1x", 0}, {"LPT1", 0}, {"COM0", 0}};
    for (const auto& n : numbers) {
        EXPECT_EQ(platform::SerialPortNumber(n.name), n.number) << n.name;
    }
}

int FailingEventFd(unsigned, int) {
    errno = EMFILE;
    return -1;
}
int gClosedFd = -1;
int RememberClose(int fd) {
    gClosedFd = fd;
    return platform::NativeSerialCalls().close(fd);
}

using SerialService = PeerTest;

TEST_F(SerialService, OpenFailsWholeWhenAnyStepFails) {
    FaultTable faults;
    faults.Edit().eventfd = FailingEventFd;
    faults.Edit().close = RememberClose;
    faults.Install();
    gClosedFd = -1;
    EXPECT_EQ(platform::SerialOpen("COM5"), platform::kInvalidSerialHandle);
    EXPECT_EQ(platform::LastError(), static_cast<uint32_t>(EMFILE)) << "the cause survives";
    EXPECT_GE(gClosedFd, 0) << "the half-open device is closed again";
}

TEST_F(SerialService, DataWaitWakesOnlyForTheWholeAnswer) {
    const platform::SerialHandle h = platform::SerialOpen("COM5");
    ASSERT_NE(h, platform::kInvalidSerialHandle);
    DeviceControl dcb;
    ASSERT_TRUE(platform::SerialBuildDeviceControl("baud=9600 parity=N data=8 stop=1", dcb));
    ASSERT_TRUE(platform::SerialSetState(h, dcb));

    peer.Send({1});
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peer.Send({2, 3, 4});
    });
    platform::SerialWaitResult result = platform::SerialWaitResult::Timeout;
    platform::SerialStatus status;
    for (int i = 0; i < 20 && result != platform::SerialWaitResult::Data; ++i) {
        result = platform::SerialWaitData(h, 4, 2000, -1);
        ASSERT_TRUE(platform::SerialClearError(h, status));
        if (result == platform::SerialWaitResult::Data) {
            EXPECT_EQ(status.inQueue, 4U) << "woken before the answer was whole";
        }
    }
    later.join();
    EXPECT_EQ(result, platform::SerialWaitResult::Data);

    // A readable user-interface descriptor ends the wait too.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(write(pipeFds[1], "m", 1), 1);
    EXPECT_EQ(platform::SerialWaitData(h, 8, 2000, pipeFds[0]),
              platform::SerialWaitResult::Interface);
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_EQ(platform::SerialWaitData(h, 8, 20, -1), platform::SerialWaitResult::Timeout);
    EXPECT_TRUE(platform::SerialClose(h));
    EXPECT_FALSE(platform::SerialClose(h)) << "a handle closes once";
}

TEST_F(SerialService, EventWaitEndsWithNoEventsWhenTheMaskChanges) {
    const platform::SerialHandle h = platform::SerialOpen("COM5");
    ASSERT_NE(h, platform::kInvalidSerialHandle);
    ASSERT_TRUE(platform::SerialSetEventMask(h, platform::kEvRxChar));
    uint32_t events = 99;
    bool ok = false;
    std::thread waiter([&] { ok = platform::SerialWaitEvent(h, events); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(platform::SerialSetEventMask(h, 0));
    waiter.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(events, 0U);

    ASSERT_TRUE(platform::SerialSetEventMask(h, platform::kEvRxChar));
    peer.Send({0x33});
    EXPECT_TRUE(platform::SerialWaitEvent(h, events));
    EXPECT_EQ(events, platform::kEvRxChar);
    EXPECT_TRUE(platform::SerialClose(h));
}

TEST_F(SerialService, EventsThatMeetAreReportedTogether) {
    const platform::SerialHandle h = platform::SerialOpen("COM5");
    ASSERT_NE(h, platform::kInvalidSerialHandle);
    ASSERT_TRUE(platform::SerialSetEventMask(h, 0x00C5));
    platform::SerialOverlapped ov;
    platform::SerialCreateOverlapped(ov, true);
    const uint8_t byte = 0x11;
    ASSERT_TRUE(platform::SerialWrite(h, ov, &byte, 1));
    ASSERT_TRUE(platform::SerialWaitOverlapped(ov, 5000));
    peer.Send({0x06});
    ASSERT_TRUE(peer.WaitReceived(1, 5000));
    platform::SerialStatus status;
    ASSERT_TRUE(
        Eventually([&] { return platform::SerialClearError(h, status) && status.inQueue == 1; }));
    uint32_t events = 0;
    ASSERT_TRUE(platform::SerialWaitEvent(h, events));
    EXPECT_EQ(events, platform::kEvRxChar | platform::kEvTxEmpty);
    platform::SerialCloseOverlapped(ov);
    EXPECT_TRUE(platform::SerialClose(h));
}

std::atomic<int> gWatchedFd{-1};
std::atomic<int> gWatchedCloses{0};
int CountWatchedClose(int fd) {
    if (fd == gWatchedFd.load()) {
        ++gWatchedCloses;
    }
    return platform::NativeSerialCalls().close(fd);
}

TEST_F(SerialService, CloseEndsAWaitOnAnotherThreadAndClosesTheDeviceOnce) {
    FaultTable faults;
    faults.Edit().close = CountWatchedClose;
    faults.Install();
    for (int round = 0; round < 50; ++round) {
        const platform::SerialHandle h = platform::SerialOpen("COM5");
        ASSERT_NE(h, platform::kInvalidSerialHandle);
        gWatchedFd = static_cast<int>(h);
        gWatchedCloses = 0;
        ASSERT_TRUE(platform::SerialSetEventMask(h, platform::kEvRxChar));
        std::atomic<bool> waiting{false};
        bool ok = true;
        uint32_t events = 99;
        uint32_t error = 0;
        std::thread waiter([&] {
            waiting = true;
            ok = platform::SerialWaitEvent(h, events);
            error = platform::LastError();
        });
        ASSERT_TRUE(Eventually([&] { return waiting.load(); }));
        if (round % 2 == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // well into its poll
        }
        EXPECT_TRUE(platform::SerialClose(h));
        waiter.join();
        EXPECT_FALSE(ok) << "the wait ends with the port";
        EXPECT_EQ(error, static_cast<uint32_t>(EBADF));
        EXPECT_EQ(gWatchedCloses.load(), 1) << "the device closes once, when the wait is over";
    }
    gWatchedFd = -1;
}

int gFailingRequest = 0;
int IoctlFailing(int fd, unsigned long request, void* argument) {
    if (static_cast<int>(request) == gFailingRequest) {
        errno = ENXIO;
        return -1;
    }
    return platform::NativeSerialCalls().ioctl(fd, request, argument);
}
ssize_t ReadFailing(int, void*, size_t) {
    errno = ENXIO;
    return -1;
}

TEST_F(SerialService, VanishedDeviceErrorsReachTheCaller) {
    const platform::SerialHandle h = platform::SerialOpen("COM5");
    ASSERT_NE(h, platform::kInvalidSerialHandle);
    FaultTable faults;
    faults.Edit().ioctl = IoctlFailing;
    faults.Edit().read = ReadFailing;
    gFailingRequest = FIONREAD;
    faults.Install();
    platform::SerialStatus status;
    EXPECT_FALSE(platform::SerialClearError(h, status));
    EXPECT_EQ(platform::LastError(), static_cast<uint32_t>(ENXIO));
    uint32_t events = 0;
    EXPECT_FALSE(platform::SerialWaitEvent(h, events));
    platform::SerialOverlapped ov;
    platform::SerialCreateOverlapped(ov, false);
    uint8_t buffer[4];
    uint32_t read = 7;
    EXPECT_FALSE(platform::SerialRead(h, ov, buffer, sizeof buffer, read));
    EXPECT_EQ(read, 0U);
    platform::SerialCloseOverlapped(ov);
    EXPECT_TRUE(platform::SerialClose(h));
}

// A driver that takes every setting without a word and answers with what it was last
// given, less the flags it drops. (A pty's own answers to the same request differ from
// one call to the next.)
tcflag_t gDropped = 0;
bool gWasSet = false;
tcflag_t gKept = 0;
int DroppingSet(int, int, const termios* tio) {
    gKept = tio->c_cflag & ~gDropped;
    gWasSet = true;
    return 0;
}
int AnsweringGet(int fd, termios* tio) {
    const int result = platform::NativeSerialCalls().tcgetattr(fd, tio);
    if (result == 0 && gWasSet) {
        tio->c_cflag = gKept;
    }
    return result;
}

TEST_F(SerialService, SettingsTheDriverDropsRefuseTheMode) {
    const platform::SerialHandle h = platform::SerialOpen("COM5");
    ASSERT_NE(h, platform::kInvalidSerialHandle);
    const auto set = [&](const char* mode) {
        DeviceControl dcb;
        EXPECT_TRUE(platform::SerialBuildDeviceControl(mode, dcb));
        errno = 0;
        return platform::SerialSetState(h, dcb);
    };
    {
        FaultTable faults;
        faults.Edit().tcsetattr = DroppingSet;
        faults.Edit().tcgetattr = AnsweringGet;
        faults.Install();
        struct {
            const char* mode;
            tcflag_t dropped;
            bool ok;
        } cases[] = {
            {"baud=9600 parity=M data=8 stop=1", 0, true},
            {"baud=9600 parity=M data=8 stop=1", CMSPAR, false},
            {"baud=9600 parity=S data=8 stop=1", 0, true},
            {"baud=9600 parity=S data=8 stop=1", CMSPAR, false},
            {"baud=9600 parity=N data=5 stop=1.5", 0, true},
            {"baud=9600 parity=N data=5 stop=1.5", CSTOPB, false},
            {"baud=9600 parity=E data=7 stop=2", 0, true},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.mode << ", dropped " << c.dropped);
            gDropped = c.dropped;
            gWasSet = false;
            EXPECT_EQ(set(c.mode), c.ok);
            if (!c.ok) {
                EXPECT_EQ(platform::LastError(), static_cast<uint32_t>(EINVAL));
            }
        }
    }
    // A pseudo-terminal keeps no parity at all, whether or not it says so.
    EXPECT_FALSE(set("baud=9600 parity=M data=8 stop=1"));
    EXPECT_EQ(platform::LastError(), static_cast<uint32_t>(EINVAL));
    EXPECT_TRUE(set("baud=9600 parity=N data=8 stop=1")) << "the port takes the next mode";
    EXPECT_TRUE(platform::SerialClose(h));
}

}  // namespace
