// The machine's side of every command exchange, byte for byte through its pty.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "raw_host.h"

namespace tq8sim_test {
namespace {

struct ExampleRow {
    const char* name;
    Bytes frame;
    Bytes request;
    Bytes answer;  // everything the machine sends after the frame's ACK
};

class ExampleExchanges : public ::testing::TestWithParam<ExampleRow> {};

TEST_P(ExampleExchanges, MachineAnswersByteForByte) {
    Rig rig;
    rig.simulator.SetVariable(62, 5);
    const ExampleRow& row = GetParam();
    EXPECT_EQ(rig.host.Exchange(row.frame, 1), Bytes{0x06});
    if (!row.request.empty()) {
        rig.host.Send(row.request);
    }
    EXPECT_EQ(rig.host.Receive(row.answer.size()), row.answer);
    // Nothing beyond the documented answer.
    EXPECT_TRUE(rig.host.Receive(1, 100).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExampleExchanges,
    ::testing::Values(
        ExampleRow{"ReadVariable62", {0x11, 0x00, 0x04}, {0x00, 0x3E}, {0x00, 0x02, 0x00, 0x05}},
        ExampleRow{"WriteVariable61", {0x11, 0x00, 0x05}, {0x00, 0x3D, 0x07, 0xD5}, {0x06}},
        ExampleRow{"WriteVariable60", {0x11, 0x00, 0x05}, {0x00, 0x3C, 0x0C, 0x18}, {0x06}},
        ExampleRow{"GetApplicationActive", {0x11, 0x00, 0x08}, {}, {0x02}},
        ExampleRow{"SetApplicationActive",
                   {0x11, 0x00, 0x06},
                   {0x00, 0x01, 0x5D, 0x2E, 0x91, 0xC4},
                   {0x06}},
        ExampleRow{"InitEEPROM", {0x11, 0x00, 0x03}, {}, {}},
        ExampleRow{"ReadUnknownVariable", {0x11, 0x00, 0x04}, {0x01, 0x00}, {0x00, 0x03, 0, 0}},
        ExampleRow{"WriteMachineOwnVariable", {0x11, 0x00, 0x05}, {0x09, 0x5E, 0x00, 0x01}, {0x15}},
        ExampleRow{"SetApplicationActiveWrongGuard",
                   {0x11, 0x00, 0x06},
                   {0x00, 0x01, 0x5D, 0x2E, 0x91, 0xC5},
                   {0x15}},
        ExampleRow{"SetApplicationActiveStateTooBig",
                   {0x11, 0x00, 0x06},
                   {0x01, 0x00, 0x5D, 0x2E, 0x91, 0xC4},
                   {0x15}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Exchanges, WritesChangeTheMachineAndRefusalsDoNot) {
    Rig rig;
    rig.host.Exchange(Frame(5), 1);
    EXPECT_EQ(rig.host.Exchange({0x00, 0x3D, 0x07, 0xD5}, 1), Bytes{0x06});
    EXPECT_EQ(rig.simulator.Variable(61), 2005);
    rig.host.Exchange(Frame(5), 1);
    EXPECT_EQ(rig.host.Exchange(Concat({WordBytes(2398), WordBytes(1)}), 1), Bytes{0x15});
    EXPECT_EQ(rig.simulator.Variable(2398), tq8sim::kDefaultSerial);

    rig.host.Exchange(Frame(6), 1);
    EXPECT_EQ(rig.host.Exchange({0x00, 0x07, 0x5D, 0x2E, 0x91, 0xC4}, 1), Bytes{0x06});
    EXPECT_EQ(rig.simulator.ApplicationState(), 7);
    rig.host.Exchange(Frame(6), 1);
    EXPECT_EQ(rig.host.Exchange({0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, 1), Bytes{0x15});
    EXPECT_EQ(rig.simulator.ApplicationState(), 7);
    EXPECT_EQ(rig.host.Exchange(Frame(8), 1), Bytes{0x06});
    EXPECT_EQ(rig.host.Receive(1), Bytes{0x07});
}

TEST(Exchanges, UnknownCodesAreRejectedAndNothingFollows) {
    Rig rig;
    for (const uint16_t code : {0, 1, 2, 11, 0x14, 0x0104, 0xFFFF}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(rig.host.ExchangeThenQuiet(Frame(code), 1, 200), Bytes{0x15});
        EXPECT_TRUE(WaitForLine(rig.simulator, "NAK cmd=" + std::to_string(code)));
    }
    // The machine is still in step afterwards.
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
}

TEST(Exchanges, DeviceTypeIsAckThenWordOne) {
    Rig rig;
    EXPECT_EQ(rig.host.Exchange({0x14}, 3), (Bytes{0x06, 0x00, 0x01}));
    EXPECT_TRUE(WaitForLine(rig.simulator, "DEVTYPE -> ACK type=0x0001"));
}

TEST(Exchanges, ChecksumReportOfTheBootloaderIsSixteenBytesWithoutAck) {
    Rig rig;
    EXPECT_EQ(rig.host.Exchange(Frame(10), 1), Bytes{0x06});
    const Bytes report = rig.host.ExchangeThenQuiet(WordBytes(0), 16, 300);
    ASSERT_EQ(report.size(), 16u);
    uint32_t sum = 0;
    for (const uint8_t byte : rig.simulator.ReadMemory(0, 0x4000)) {
        sum += byte;
    }
    EXPECT_EQ(DWordAt(report, 0), 0x00000000u);
    EXPECT_EQ(DWordAt(report, 4), 0x00003FFFu);
    EXPECT_EQ(DWordAt(report, 8), sum);
    EXPECT_EQ(DWordAt(report, 12), sum);
    EXPECT_NE(sum, 0x4000u * 0xFF) << "the bootloader should hold content, not erased flash";
}

TEST(Exchanges, ChecksumOfAnAreaNeverLoadedDiffers) {
    Rig rig;
    rig.host.Exchange(Frame(10), 1);
    const Bytes report = rig.host.Exchange(WordBytes(2), 16);
    ASSERT_EQ(report.size(), 16u);
    EXPECT_EQ(DWordAt(report, 0), tq8sim::kTextStart);
    EXPECT_EQ(DWordAt(report, 4), tq8sim::kTextEnd);
    EXPECT_EQ(DWordAt(report, 8), 0u);
    EXPECT_EQ(DWordAt(report, 12), 0x20000u * 0xFF);
}

TEST(Exchanges, ChecksumOfAnUnknownAreaStaysSilent) {
    Rig rig;
    rig.host.Exchange(Frame(10), 1);
    EXPECT_TRUE(rig.host.Exchange(WordBytes(3), 16, 300).empty());
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
}

TEST(Exchanges, RateSwitchAcksAtTheOldRateAndServesTheNewOne) {
    Rig rig;
    EXPECT_EQ(rig.host.Exchange(Frame(9), 1), Bytes{0x06});
    EXPECT_EQ(rig.host.Exchange({0x00, 0x00, 0x96, 0x00}, 1), Bytes{0x06});
    EXPECT_TRUE(WaitForLine(rig.simulator, "RATE 38400 -> ACK"));
    EXPECT_EQ(rig.simulator.LineRate(), 38400u);
    // The host closes and reopens at the new rate; the machine waits through the EIO.
    rig.host.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(rig.host.Open(38400));
    EXPECT_EQ(rig.simulator.HostLineRate(), 38400u);
    rig.simulator.SetVariable(62, 9);
    EXPECT_EQ(rig.host.Exchange(Frame(4), 1), Bytes{0x06});
    EXPECT_EQ(rig.host.Exchange(WordBytes(62), 4), (Bytes{0x00, 0x02, 0x00, 0x09}));
}

TEST(Exchanges, UnsupportedRateIsRefused) {
    Rig rig;
    rig.host.Exchange(Frame(9), 1);
    EXPECT_EQ(rig.host.Exchange(DWordBytes(12345), 1), Bytes{0x15});
    EXPECT_EQ(rig.simulator.LineRate(), 9600u);
}

TEST(Exchanges, HostAtAnotherRateGetsNoUsableAnswer) {
    Rig rig;
    rig.host.Exchange(Frame(9), 1);
    rig.host.Exchange(DWordBytes(38400), 1);
    // The host did not follow: its frame arrives garbled and is not answered as a frame.
    const Bytes answer = rig.host.Exchange(Frame(8), 2, 300);
    EXPECT_EQ(std::count(answer.begin(), answer.end(), uint8_t{0x06}), 0);
    EXPECT_TRUE(WaitForLine(rig.simulator, "LINE garbled in host=9600 machine=38400"));
    EXPECT_TRUE(WaitForLine(rig.simulator, "STRAY"));
}

TEST(Exchanges, MachineAnswersGarbledWhenOnlyTheHostSwitched) {
    Rig rig;
    // The machine hears the request at 9600; while it erases, the host moves to 38400.
    rig.simulator.InjectSlowErase(600);
    rig.host.Exchange(Frame(7), 1);
    rig.host.Send(Concat({DWordBytes(tq8sim::kGuardCode), DWordBytes(0x4000), DWordBytes(0x401F)}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // heard, now erasing
    rig.host.Close();
    rig.host.Open(38400);
    const Bytes answer = rig.host.Receive(1);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_NE(answer[0], 0x06);
    EXPECT_NE(answer[0], 0x15);
    EXPECT_TRUE(WaitForLine(rig.simulator, "LINE garbled out host=38400 machine=9600"));
}

TEST(Exchanges, IncompleteFrameIsDroppedAfterTheGap) {
    Rig rig;
    rig.host.Send({0x11, 0x00});
    EXPECT_TRUE(WaitForLine(rig.simulator, "TIMEOUT frame got=1"));
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));

    rig.host.Exchange(Frame(4), 1);
    rig.host.Send({0x00});
    EXPECT_TRUE(WaitForLine(rig.simulator, "TIMEOUT cmd=4 got=1"));
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
}

// Each command takes exactly its request: one byte short and the frame is dropped, the
// next frame is a command again.
TEST(Exchanges, EveryCommandWaitsForItsWholeRequest) {
    Rig rig;
    const std::pair<uint16_t, size_t> requests[] = {{4, 2},  {5, 4}, {6, 6},
                                                    {7, 12}, {9, 4}, {10, 2}};
    for (const auto& [code, size] : requests) {
        SCOPED_TRACE(code);
        rig.simulator.ClearTranscript();
        EXPECT_EQ(rig.host.Exchange(Frame(code), 1), Bytes{0x06});
        rig.host.Send(Bytes(size - 1, 0));
        EXPECT_TRUE(WaitForLine(rig.simulator, "TIMEOUT cmd=" + std::to_string(code) +
                                                   " got=" + std::to_string(size - 1)));
        EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
    }
    EXPECT_EQ(rig.simulator.DownloadsStarted(), 0u) << "a cut start request is no download";
}

TEST(Exchanges, BytesOutsideAFrameAreIgnored) {
    Rig rig;
    rig.host.Send({0x41, 0x06});
    EXPECT_TRUE(WaitForLine(rig.simulator, "STRAY 0x41"));
    EXPECT_TRUE(WaitForLine(rig.simulator, "STRAY 0x06"));
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
}

TEST(Exchanges, TranscriptNamesEachFrameAndItsAnswer) {
    Rig rig;
    rig.simulator.SetVariable(62, 5);
    rig.host.Exchange(Frame(4), 1);
    rig.host.Exchange(WordBytes(62), 4);
    rig.host.Exchange(Frame(8), 2);
    ASSERT_TRUE(WaitForLine(rig.simulator, "GetApplicationActive"));
    EXPECT_EQ(rig.simulator.Transcript(),
              (std::vector<std::string>{"CMD 4 ReadVariable id=62 -> ACK kennung=2 value=5",
                                        "CMD 8 GetApplicationActive -> state=2"}));
    rig.simulator.ClearTranscript();
    EXPECT_TRUE(rig.simulator.Transcript().empty());
}

}  // namespace
}  // namespace tq8sim_test
