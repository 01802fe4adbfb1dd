// Answers the simulated machine never gives, from a pty peer that answers anything.

#include <cerrno>
#include <chrono>

#include "platform/posix/serial_sys.h"
#include "platform/serial.h"
#include "protocol/protokoll_tq8.h"
#include "pty_peer.h"
#include "scripted_frontend.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

namespace {

constexpr int kPort = 6;

class PeerAnswers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Ok());
        platform::MapSerialPort(kPort, peer.SlavePath());
        scripted::Reset();
        conn = std::make_unique<ProtokollTQ8>(nullptr, kPort);
        ASSERT_EQ(conn->fProtokollAktiv, 1);
        trace.Clear();
    }
    void TearDown() override {
        conn.reset();
        platform::MapSerialPort(kPort, "");
    }
    PtyPeer peer;
    TraceLevels levels{5};
    TraceCapture trace;
    std::unique_ptr<ProtokollTQ8> conn;
};

TEST_F(PeerAnswers, ChecksumReportOneByteShortLeavesTheOutputs) {
    peer.Expect(3, {0x06});
    peer.Expect(2, std::vector<uint8_t>(15, 0xAA));
    uint32_t a = 1, b = 2, c = 3, d = 4;
    EXPECT_EQ(conn->GetCheckSum(1, a, b, c, d), 0);
    EXPECT_EQ(std::vector<uint32_t>({a, b, c, d}), std::vector<uint32_t>({1, 2, 3, 4}));
    EXPECT_TRUE(trace.Has("{cr}WaitForData: TimeOut"));
    EXPECT_EQ(trace.CountPrefix("dwStartAddress"), 0U);
}

TEST_F(PeerAnswers, DeviceTypeDependsOnTheWord) {
    struct Case {
        std::vector<uint8_t> answer;
        int result;
    } cases[] = {
        {{0x06, 0x00, 0x01}, 2},
        {{0x06, 0x00, 0x02}, 0},
        {{0x06, 0x01, 0x01}, 0},
        {{0x15}, 0},
        {{0x06}, 0},  // the word never comes
        {{0x06, 0x00}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.size());
        conn->pComm->FlushComm(conn->pComm->hComm, 1);
        peer.Expect(1, c.answer);
        EXPECT_EQ(conn->GetDeviceType(), c.result);
    }
}

TEST_F(PeerAnswers, QueuedBytesAnswerTheNextCommand) {
    // Bytes already queued count; nothing is discarded before a command.
    peer.Send({0x06, 0x00, 0x02, 0x00, 0x2A});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (conn->pComm->GetInQueue() < 5 && std::chrono::steady_clock::now() < end) {
    }
    int16_t value = 0;
    EXPECT_EQ(conn->ReadVariable(62, value), 1);
    EXPECT_EQ(value, 42);
}

TEST_F(PeerAnswers, RefusedWriteEndsTheRequestAtOnceWithItsCause) {
    platform::SerialCalls refusing = platform::NativeSerialCalls();
    refusing.write = [](int, const void*, size_t) -> ssize_t { return errno = EIO, -1; };
    platform::SetSerialCalls(refusing);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(conn->InitCommand(8), -1);
    const auto took = std::chrono::steady_clock::now() - start;
    platform::RestoreSerialCalls();
    EXPECT_LT(took, std::chrono::milliseconds(kAnswerTimeMs / 2)) << "no wait for an answer";
    ASSERT_EQ(trace.Lines().size(), 1U) << "nor a time-out";
    EXPECT_EQ(trace.Lines()[0].rfind("{cr}*WriteComm (Kovra TQ8/ZEL 5000) = 5 (", 0), 0U);
}

TEST_F(PeerAnswers, AnswerInPiecesIsAwaitedWhole) {
    peer.Expect(3, {0x06});
    peer.Expect(2, {0x00, 0x02});
    std::thread rest([&] {
        peer.WaitReceived(5, 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Send({0xFF});
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Send({0xFE});
    });
    int16_t value = 0;
    EXPECT_EQ(conn->ReadVariable(2384, value), 1);
    rest.join();
    EXPECT_EQ(value, -2);
    EXPECT_TRUE(trace.Has("{cg}*Variable 2384 = -2 (kennung = 2)"));
}

}  // namespace
