// The download exchange, the flash behind it and the memory map around it.
#include <gtest/gtest.h>

#include <chrono>

#include "raw_host.h"

namespace tq8sim_test {
namespace {

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 5));
    }
    return data;
}

uint32_t Sum(const Bytes& data) {
    uint32_t sum = 0;
    for (const uint8_t byte : data) {
        sum += byte;
    }
    return sum;
}

Bytes Checksum(RawHost& host, uint16_t area) {
    host.Exchange(Frame(10), 1);
    return host.Exchange(WordBytes(area), 16);
}

TEST(Download, EveryBlockAndTheTrailerAreAcknowledgedAndProgrammed) {
    Rig rig;
    const Bytes data = Pattern(4 * 32, 3);
    EXPECT_EQ(Download(rig.host, 0x4000, data), Bytes(1 + 1 + 4 + 1, 0x06));
    EXPECT_EQ(rig.simulator.ReadMemory(0x4000, 128), data);
    ASSERT_TRUE(WaitForLine(rig.simulator, "TRAILER"));
    const auto lines = rig.simulator.Transcript();
    EXPECT_EQ(lines.front(), "DL start=0x00004000 end=0x0000407f -> ACK erase=0ms");
    EXPECT_EQ(lines[3], "BLOCK 2 addr=0x00004040 -> ACK");
    uint8_t xorValue = 0;
    for (const uint8_t byte : data) {
        xorValue ^= byte;
    }
    char trailer[64];
    std::snprintf(trailer, sizeof trailer, "TRAILER xor=0x%02x sum=0x%08x -> ACK", xorValue,
                  Sum(data));
    EXPECT_EQ(lines.back(), trailer);

    const Bytes report = Checksum(rig.host, 1);
    ASSERT_EQ(report.size(), 16u);
    EXPECT_EQ(DWordAt(report, 0), 0x4000u);
    EXPECT_EQ(DWordAt(report, 4), 0x407Fu);
    EXPECT_EQ(DWordAt(report, 8), Sum(data));
    EXPECT_EQ(DWordAt(report, 12), Sum(data));
}

TEST(Download, DisplayTextsGoToAreaTwo) {
    Rig rig;
    const Bytes data = Pattern(64, 0x80);
    EXPECT_EQ(Download(rig.host, tq8sim::kTextStart, data).back(), 0x06);
    const Bytes report = Checksum(rig.host, 2);
    ASSERT_EQ(report.size(), 16u);
    EXPECT_EQ(DWordAt(report, 0), tq8sim::kTextStart);
    EXPECT_EQ(DWordAt(report, 8), DWordAt(report, 12));
}

TEST(Download, WrongTrailerIsRefusedAndNotRecorded) {
    Rig rig;
    const Bytes first = Pattern(64, 1);
    ASSERT_EQ(Download(rig.host, 0x4000, first).back(), 0x06);
    const Bytes second = Pattern(64, 2);
    EXPECT_EQ(Download(rig.host, 0x4000, second, false).back(), 0x15);
    EXPECT_TRUE(WaitForLine(rig.simulator, "-> NAK expected"));
    // The flash holds the new data, but the saved sum is still the last accepted one.
    const Bytes report = Checksum(rig.host, 1);
    ASSERT_EQ(report.size(), 16u);
    EXPECT_EQ(DWordAt(report, 8), Sum(first));
    EXPECT_EQ(DWordAt(report, 12), Sum(second));
}

TEST(Download, WrongXorAloneIsRefused) {
    Rig rig;
    const Bytes data = Pattern(32, 9);
    rig.host.Exchange(Frame(7), 1);
    rig.host.Exchange(
        Concat({DWordBytes(tq8sim::kGuardCode), DWordBytes(0x4000), DWordBytes(0x401F)}), 1);
    EXPECT_EQ(rig.host.Exchange(data, 1), Bytes{0x06});
    uint8_t xorValue = 0;
    for (const uint8_t byte : data) {
        xorValue ^= byte;
    }
    EXPECT_EQ(
        rig.host.Exchange(Concat({{static_cast<uint8_t>(xorValue ^ 1)}, DWordBytes(Sum(data))}), 1),
        Bytes{0x15});
}

TEST(Download, EraseClearsOnlyTheRangeAndProgrammingOnlyClearsBits) {
    Rig rig;
    ASSERT_EQ(Download(rig.host, 0x4000, Bytes(96, 0x0F)).back(), 0x06);
    // A second download of the middle block only: erased to 0xFF first, then programmed.
    ASSERT_EQ(Download(rig.host, 0x4020, Bytes(32, 0xF0)).back(), 0x06);
    EXPECT_EQ(rig.simulator.ReadMemory(0x4000, 32), Bytes(32, 0x0F));
    EXPECT_EQ(rig.simulator.ReadMemory(0x4020, 32), Bytes(32, 0xF0));
    EXPECT_EQ(rig.simulator.ReadMemory(0x4040, 32), Bytes(32, 0x0F));
    EXPECT_EQ(rig.simulator.ReadMemory(0x4060, 32), Bytes(32, 0xFF));
}

struct RefusedRange {
    const char* name;
    uint32_t guard;
    uint32_t start;
    uint32_t end;
    const char* reason;
};

class RefusedDownloads : public ::testing::TestWithParam<RefusedRange> {};

TEST_P(RefusedDownloads, AreNakedAndTouchNothing) {
    Rig rig;
    const RefusedRange& row = GetParam();
    const Bytes bootBefore = rig.simulator.ReadMemory(0, 0x4000);
    EXPECT_EQ(rig.host.Exchange(Frame(7), 1), Bytes{0x06});
    EXPECT_EQ(rig.host.Exchange(
                  Concat({DWordBytes(row.guard), DWordBytes(row.start), DWordBytes(row.end)}), 1),
              Bytes{0x15});
    EXPECT_TRUE(WaitForLine(rig.simulator, std::string("-> NAK reason=") + row.reason));
    EXPECT_EQ(rig.simulator.ReadMemory(0, 0x4000), bootBefore);
    // Not in download mode: the next frame is a command.
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedDownloads,
    ::testing::Values(
        RefusedRange{"WrongGuard", 0x5D2E91C5, 0x4000, 0x401F, "guard"},
        RefusedRange{"Bootloader", tq8sim::kGuardCode, 0x0000, 0x001F, "bootloader"},
        RefusedRange{"IntoBootloader", tq8sim::kGuardCode, 0x3FE0, 0x401F, "bootloader"},
        RefusedRange{"BeyondMap", tq8sim::kGuardCode, 0xA0000, 0xA001F, "outside-map"},
        RefusedRange{"EndBeyondMap", tq8sim::kGuardCode, 0x9FFE0, 0xA001F, "outside-map"},
        RefusedRange{"AcrossAreas", tq8sim::kGuardCode, 0x7FFE0, 0x8001F, "crosses-areas"},
        RefusedRange{"Misaligned", tq8sim::kGuardCode, 0x4010, 0x402F, "misaligned"},
        RefusedRange{"PartialBlock", tq8sim::kGuardCode, 0x4000, 0x4010, "misaligned"},
        RefusedRange{"Reversed", tq8sim::kGuardCode, 0x5000, 0x4FFF, "reversed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Download, SilentGapLeavesDownloadMode) {
    Rig rig;
    rig.host.Exchange(Frame(7), 1);
    rig.host.Exchange(
        Concat({DWordBytes(tq8sim::kGuardCode), DWordBytes(0x4000), DWordBytes(0x405F)}), 1);
    EXPECT_EQ(rig.host.Exchange(Bytes(32, 0x11), 1), Bytes{0x06});
    rig.host.Send(Bytes(10, 0x22));  // half a block, then silence
    EXPECT_TRUE(WaitForLine(rig.simulator, "DL ABORT blocks=1 got=10 reason=gap"));
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
    // The broken download was never recorded.
    const Bytes report = Checksum(rig.host, 1);
    ASSERT_EQ(report.size(), 16u);
    EXPECT_EQ(DWordAt(report, 8), 0u);
}

TEST(Download, HostSpeakingDuringTheEraseCancelsTheDownload) {
    Rig rig;
    rig.simulator.InjectSlowErase(400);
    rig.host.Exchange(Frame(7), 1);
    rig.host.Send(Concat({DWordBytes(tq8sim::kGuardCode), DWordBytes(0x4000), DWordBytes(0x401F)}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // A host that gave up waiting asks for the state: that is what it gets, no late ACK.
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
    EXPECT_TRUE(WaitForLine(rig.simulator, "-> CANCELLED"));
}

// The paced line may make up for its own late answers, never for the wire: a download
// takes at least the wire time of every byte both ways plus the machine's own times.
// Each run meets a machine of its own: after an answer the line dates the host's next
// bytes back by the pty's round trip, half of which (the answer's way out) lies before a
// clock the host starts only once it has that answer.
TEST(Download, PacedDownloadNeverBeatsTheWire) {
    tq8sim::Options options;
    options.pace = true;
    options.rate = 38400;
    options.eraseMsPerKiB = 3;
    const Bytes data = Pattern(16 * 32, 5);
    for (int run = 0; run < 2; ++run) {
        tq8sim::Simulator simulator(options);
        ASSERT_TRUE(simulator.CreatePty());
        ASSERT_TRUE(simulator.Start());
        RawHost host(simulator.DevicePath(), 38400);
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_EQ(Download(host, 0x4000, data), Bytes(16 + 3, 0x06));
        const auto took = std::chrono::steady_clock::now() - begin;
        const double wireBytes = 3 + 1 + 12 + 1 + 16 * 33 + 5 + 1;
        const auto bound = std::chrono::duration<double>(wireBytes * 10 / 38400 + 3e-3 +
                                                         16 * options.programUsPerBlock / 1e6);
        EXPECT_GE(took, bound) << "run " << run;
    }
}

}  // namespace
}  // namespace tq8sim_test
