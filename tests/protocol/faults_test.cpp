// The machine misbehaving: rejections, wrong bytes, silence, refused switches, stray
// bytes, downloads that fail, and a device that disappears.

#include <algorithm>
#include <functional>

#include "platform/clock.h"
#include "protocol_fixture.h"
#include "support/utils.h"

namespace {

using Clock = std::chrono::steady_clock;

// Ceiling for "it ends, it does not hang": three times the limit a wait may take, and never
// less than a few seconds, so that a busy runner (sanitizers, wine, other jobs on two
// cores) stays below it.
constexpr std::chrono::milliseconds NoHangCeiling(uint32_t limitMs) {
    return std::chrono::milliseconds(std::max<uint32_t>(3 * limitMs, 3000));
}

SIM_TEST(Protocol, RejectedFrameFailsOnceAndSendsNothingMore, "--nak 4") {
    int16_t value = 77;
    EXPECT_EQ(conn->ReadVariable(62, value), 0);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(trace.Count("{cr}InitCommand (4): command rejected"), 1U);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, 0x04}}));
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0x15}}));
    EXPECT_EQ(TranscriptOf(1), std::vector<std::string>{"NAK cmd=4"});
}

SIM_TEST(Protocol, OtherAnswerByteFailsWithoutTheRejectionLine, "--wrong-byte 4=0x42") {
    int16_t value = 77;
    EXPECT_EQ(conn->ReadVariable(62, value), 0);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(trace.CountPrefix("{cr}InitCommand"), 0U);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, 0x04}}));
    EXPECT_EQ(TranscriptOf(1), std::vector<std::string>{"WRONG cmd=4 byte=0x42"});
}

SIM_TEST(Protocol, SilenceGivesEachOperationItsFailureValue,
         "--silent 3 --silent 4 --silent 5 --silent 6 --silent 7 --silent 8 --silent 10") {
    uint32_t a = 1, b = 2, c = 3, d = 4;
    int16_t value = 77;
    struct Row {
        const char* what;
        uint8_t code;
        std::function<int()> run;
        int failure;
    } rows[] = {
        {"InitCommand", 8, [&] { return conn->InitCommand(8); }, -1},
        {"GetApplicationActive", 8, [&] { return conn->GetApplicationActive(); }, -1},
        {"ReadVariable", 4, [&] { return conn->ReadVariable(62, value); }, 0},
        {"WriteVariable", 5, [&] { return conn->WriteVariable(62, 1); }, 0},
        {"SetApplicationActive", 6, [&] { return conn->SetApplicationActive(1); }, 0},
        {"StartDownload", 7, [&] { return conn->StartDownload(0x80000, 0x8001F); }, 0},
        {"GetCheckSum", 10, [&] { return conn->GetCheckSum(1, a, b, c, d); }, 0},
        {"InitEEPROM", 3, [&] { return conn->InitEEPROM(); }, 0},
    };
    auto fastest = Clock::duration::max();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        trace.Clear();
        const auto start = Clock::now();
        EXPECT_EQ(row.run(), row.failure);
        const auto took = Clock::now() - start;
        fastest = std::min(fastest, took);
        EXPECT_GE(took, std::chrono::milliseconds(1190)) << "the answer gets its 1200 ms";
        EXPECT_LT(took, NoHangCeiling(kAnswerTimeMs));
        EXPECT_EQ(trace.Count("{cr}WaitForData: TimeOut"), 1U);
        EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, row.code}}));
        EXPECT_EQ(trace.CountPrefix("{cy}FlushComm"), 0U);
    }
    // A line pause after the silence would lengthen every operation by 500 ms; a busy
    // runner delays some of them, hardly all eight by as much.
    EXPECT_LT(fastest, std::chrono::milliseconds(kAnswerTimeMs + kLinePauseMs))
        << "and no pause after silence";
    EXPECT_EQ(value, 77);
    EXPECT_EQ(std::vector<uint32_t>({a, b, c, d}), std::vector<uint32_t>({1, 2, 3, 4}));
}

SIM_TEST(Protocol, InvalidKennungLeavesTheValue, "--kennung 62=3") {
    int16_t value = 77;
    EXPECT_EQ(conn->ReadVariable(62, value), 0);
    EXPECT_EQ(value, 77);
    EXPECT_TRUE(trace.Has("{cy}*Variable 62 = no valid data"));
    EXPECT_EQ(trace.CountPrefix("{cg}*Variable"), 0U);
}

SIM_TEST(Protocol, WriteVariableSendsNothingForIdsOutside0To999, "") {
    for (int id : {1000, 2384, 2398, -1, 0x8000, 0xFFFF}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(conn->WriteVariable(id, 1), 0);
    }
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(sim->Transcript().empty());
    EXPECT_EQ(conn->WriteVariable(999, 1), 1) << "the highest writable id";
}

SIM_TEST(Protocol, RefusedRateSwitchKeepsTheOldLine, "--refuse-rate") {
    const RS232* port = conn->pComm.get();
    EXPECT_EQ(conn->SetBaudRate(kProtocolWindow, sim->Port(), 38400), 0);
    EXPECT_EQ(conn->pComm.get(), port);
    EXPECT_EQ(conn->fProtokollAktiv, 1);
    EXPECT_EQ(conn->pComm->dcb.BaudRate, 9600U);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, 0x09}, {0x00, 0x00, 0x96, 0x00}}));
    EXPECT_EQ(TranscriptOf(1), std::vector<std::string>{"RATE 38400 -> NAK"});
    EXPECT_EQ(conn->GetApplicationActive(), 2) << "still talking at 9600";
}

SIM_TEST(Protocol, FailedReopenLeavesTheConnectionInactive, "") {
    // The machine switches; the host then cannot open the port again.
    EXPECT_EQ(conn->SetBaudRate(kProtocolWindow, 20, 38400), 0);
    EXPECT_EQ(conn->fProtokollAktiv, 0);
    EXPECT_FALSE(conn->pComm);
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].caption, "Kovra TQ8/ZEL 5000: COM20");
    trace.Clear();
    int16_t value = 5;
    EXPECT_EQ(conn->ReadVariable(62, value), 0);
    EXPECT_EQ(conn->GetApplicationActive(), -1);
    EXPECT_EQ(conn->ReceiveDWord(), 0xFFFFFFFFU);
    EXPECT_TRUE(trace.Dumps().empty()) << "no port, no I/O";
}

SIM_TEST(Protocol, DeviceTypeWithoutAnswerIs0x8001, "--silent devtype") {
    // Asked three times: waiting the 1200 ms of other answers would make every query
    // slow, a busy runner only some.
    auto fastest = Clock::duration::max();
    for (int query = 1; query <= 3; ++query) {
        SCOPED_TRACE(query);
        const auto start = Clock::now();
        EXPECT_EQ(conn->GetDeviceType(), 0x8001);
        const auto took = Clock::now() - start;
        fastest = std::min(fastest, took);
        EXPECT_GE(took, std::chrono::milliseconds(95));
        EXPECT_LT(took, NoHangCeiling(kDeviceTypeTimeMs));
        EXPECT_EQ(Sent(), std::vector<Bytes>(query, Bytes{0x14}));
    }
    EXPECT_LT(fastest, std::chrono::milliseconds(1000)) << "the first answer gets 100 ms only";
}

SIM_TEST(Protocol, StrayByteIsTakenAsTheAnswer, "--stray 15") {
    EXPECT_EQ(conn->GetApplicationActive(), -1);
    EXPECT_EQ(trace.Count("{cr}InitCommand (8): command rejected"), 1U);
    const auto lines = TranscriptOf(2);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "SENT-STRAY 15");
}

// Sends size bytes to start as the download exchange does; returns the results of
// StartDownload, every block, and the final acknowledgement.
struct DownloadResult {
    int start = 0;
    std::vector<int> blocks;
    int trailer = 0;
    uint8_t xorByte = 0;
    uint32_t sum = 0;
};

DownloadResult Download(ProtokollTQ8& conn, uint32_t start, uint32_t size) {
    DownloadResult r;
    r.start = conn.StartDownload(start, start + size - 1);
    if (r.start != 1) {
        return r;
    }
    for (uint32_t offset = 0; offset < size; offset += 32) {
        uint8_t block[32];
        for (uint32_t i = 0; i < 32; ++i) {
            block[i] = static_cast<uint8_t>(offset * 3 + i * i + 1);
            r.xorByte ^= block[i];
            r.sum += block[i];
        }
        r.blocks.push_back(conn.SendData(block, 32));
        if (r.blocks.back() != 1) {
            return r;
        }
    }
    conn.SendByte(r.xorByte);
    conn.SendDWord(r.sum);
    r.trailer = conn.WaitForAck();
    return r;
}

SIM_TEST(Protocol, DownloadExchangeAndItsChecksum, "") {
    const DownloadResult r = Download(*conn, 0x80000, 64);
    EXPECT_EQ(r.start, 1);
    EXPECT_EQ(r.blocks, (std::vector<int>{1, 1}));
    EXPECT_EQ(r.trailer, 1);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 8U);
    EXPECT_EQ(sent[0], (Bytes{0x11, 0x00, 0x07}));
    EXPECT_EQ(sent[1], (Bytes{0x5D, 0x2E, 0x91, 0xC4}));
    EXPECT_EQ(sent[2], (Bytes{0x00, 0x08, 0x00, 0x00}));
    EXPECT_EQ(sent[3], (Bytes{0x00, 0x08, 0x00, 0x3F}));
    EXPECT_EQ(sent[6], Bytes{r.xorByte});
    char trailer[80];
    std::snprintf(trailer, sizeof trailer, "TRAILER xor=0x%02x sum=0x%08x -> ACK", r.xorByte,
                  r.sum);
    EXPECT_EQ(TranscriptOf(4),
              (std::vector<std::string>{"DL start=0x00080000 end=0x0008003f -> ACK erase=1ms",
                                        "BLOCK 0 addr=0x00080000 -> ACK",
                                        "BLOCK 1 addr=0x00080020 -> ACK", trailer}));
    uint32_t start = 0, end = 0, saved = 0, calculated = 0;
    EXPECT_EQ(conn->GetCheckSum(2, start, end, saved, calculated), 1);
    EXPECT_EQ(start, 0x80000U);
    EXPECT_EQ(end, 0x8003FU);
    EXPECT_EQ(saved, r.sum);
    EXPECT_EQ(calculated, r.sum);
}

SIM_TEST(Protocol, ChecksumMismatchIsReported, "--checksum-mismatch 2") {
    ASSERT_EQ(Download(*conn, 0x80000, 32).trailer, 1);
    uint32_t start = 0, end = 0, saved = 0, calculated = 0;
    EXPECT_EQ(conn->GetCheckSum(2, start, end, saved, calculated), 1);
    EXPECT_NE(saved, calculated);
}

SIM_TEST(Protocol, SlowEraseIsWaitedForUpToTenSeconds, "--slow-erase 2500") {
    const auto start = Clock::now();
    EXPECT_EQ(Download(*conn, 0x80000, 32).trailer, 1);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(2500));
}

SIM_TEST(Protocol, UnacknowledgedBlockEndsTheDownload, "--block-noack 1") {
    const DownloadResult r = Download(*conn, 0x80000, 96);
    EXPECT_EQ(r.blocks, (std::vector<int>{1, 0}));
    EXPECT_EQ(trace.Count("{cr}WaitForData: TimeOut"), 1U);
    // The machine reads what follows as commands again.
    EXPECT_EQ(conn->GetApplicationActive(), 2);
}

SIM_TEST(Protocol, DeviceVanishingMidDownloadFailsCleanly, "--vanish-after 1") {
    ASSERT_EQ(conn->StartDownload(0x80000, 0x8007F), 1);
    uint8_t block[32] = {};
    EXPECT_EQ(conn->SendData(block, 32), 1);
    // The acknowledgement of the last block may go down with the line.
    (void)conn->SendData(block, 32);
    const auto vanished = Clock::now() + std::chrono::seconds(3);
    while (!sim->Vanished() && Clock::now() < vanished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(sim->Vanished()) << ::testing::PrintToString(sim->Transcript());
    auto start = Clock::now();
    EXPECT_EQ(conn->SendData(block, 32), 0);
    EXPECT_LT(Clock::now() - start, NoHangCeiling(kAnswerTimeMs));
    start = Clock::now();
    int16_t value = 9;
    EXPECT_EQ(conn->ReadVariable(62, value), 0);
    EXPECT_EQ(value, 9);
    EXPECT_LT(Clock::now() - start, NoHangCeiling(kAnswerTimeMs));
    conn.reset();
    EXPECT_TRUE(trace.Has("{cg}*Destructor::RS232 (Kovra TQ8/ZEL 5000)"));
}

// A clock that is 256 ms short of its wrap at 2^32 when a test starts.
uint32_t gClockBase = 0;
uint32_t WrappingClock() {
    return GetTimeMs() - gClockBase + 0xFFFFFF00U;
}

SIM_TEST(Protocol, WaitsLastTheirTimeAcrossTheClockWrap, "") {
    gClockBase = GetTimeMs();
    SetProtocolClock(WrappingClock);
    EXPECT_EQ(conn->GetApplicationActive(), 2);
    const auto start = Clock::now();
    EXPECT_EQ(conn->WaitForData(1, 600), 0);
    const auto took = Clock::now() - start;
    SetProtocolClock(nullptr);
    EXPECT_GE(took, std::chrono::milliseconds(590)) << "a wrapped deadline ended the wait early";
    EXPECT_LT(took, NoHangCeiling(600)) << "a wrapped deadline never came";
}

SIM_TEST(Protocol, WindowMessagesRunWhileAnAnswerIsAwaited, "--silent 8") {
    int ran = 0;
    for (int i = 0; i < 5; ++i) {
        scripted::QueueMessage([&] { ++ran; });
    }
    EXPECT_EQ(conn->GetApplicationActive(), -1);
    EXPECT_EQ(ran, 5);
    EXPECT_EQ(scripted::PendingMessages(), 0U);
}

}  // namespace
