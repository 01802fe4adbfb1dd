// Every injected fault, as the host sees it on the line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "raw_host.h"
#include "tq8sim/arguments.h"

namespace tq8sim_test {
namespace {

struct FrameFault {
    const char* name;
    std::function<void(tq8sim::Simulator&)> inject;
    Bytes firstAnswer;  // what the host gets for the first frame 11 00 08
    const char* line;
};

class CommandFaults : public ::testing::TestWithParam<FrameFault> {};

TEST_P(CommandFaults, HitTheFrameAsOftenAsAsked) {
    Rig rig;
    const FrameFault& row = GetParam();
    row.inject(rig.simulator);
    // Anything beyond the first answer would be read by the next exchange below.
    EXPECT_EQ(rig.host.Exchange(Frame(8), row.firstAnswer.size()), row.firstAnswer);
    EXPECT_TRUE(WaitForLine(rig.simulator, row.line));
    // Count 1: the second frame is answered as usual.
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandFaults,
    ::testing::Values(FrameFault{"Nak", [](auto& s) { s.InjectNak(8, 1); }, {0x15}, "NAK cmd=8"},
                      FrameFault{
                          "Silence", [](auto& s) { s.InjectSilence(8, 1); }, {}, "SILENT cmd=8"},
                      FrameFault{"WrongByte",
                                 [](auto& s) { s.InjectWrongByte(8, 0x42, 1); },
                                 {0x42},
                                 "WRONG cmd=8 byte=0x42"},
                      FrameFault{"Stray",
                                 [](auto& s) {
                                     s.InjectStrayBytes({0x41, 0x42});
                                 },
                                 {0x41, 0x42},
                                 "SENT-STRAY 41 42"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Faults, CountMinusOneHitsEveryFrameUntilCleared) {
    Rig rig;
    rig.simulator.InjectNak(4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.host.Exchange(Frame(4), 2, 150), Bytes{0x15});
    }
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02})) << "only command 4 is hit";
    rig.simulator.ClearFaults();
    EXPECT_EQ(rig.host.Exchange(Frame(4), 1), Bytes{0x06});
}

TEST(Faults, StrayBytesPrecedeTheFrameAckSoTheHostReadsThemFirst) {
    Rig rig;
    rig.simulator.InjectStrayBytes({0x15});
    EXPECT_EQ(rig.host.Exchange(Frame(8), 3), (Bytes{0x15, 0x06, 0x02}));
}

TEST(Faults, DeviceTypeFaults) {
    Rig rig;
    rig.simulator.InjectSilence(tq8sim::kDeviceTypeCommand, 1);
    EXPECT_TRUE(rig.host.Exchange({0x14}, 3, 200).empty());
    rig.simulator.InjectNak(tq8sim::kDeviceTypeCommand, 1);
    EXPECT_EQ(rig.host.ExchangeThenQuiet({0x14}, 1, 200), Bytes{0x15});
    EXPECT_EQ(rig.host.Exchange({0x14}, 3), (Bytes{0x06, 0x00, 0x01}));
}

TEST(Faults, KennungReplacesTheValidMark) {
    Rig rig;
    rig.simulator.InjectKennung(2398, 3);
    rig.host.Exchange(Frame(4), 1);
    const Bytes answer = rig.host.Exchange(WordBytes(2398), 4);
    EXPECT_EQ(answer, Concat({WordBytes(3), WordBytes(tq8sim::kDefaultSerial)}));
    rig.host.Exchange(Frame(4), 1);
    EXPECT_EQ(rig.host.Exchange(WordBytes(0), 4), (Bytes{0x00, 0x02, 0x00, 102}))
        << "other variables keep kennung 2";
}

struct BlockFault {
    const char* name;
    std::function<void(tq8sim::Simulator&)> inject;
    Bytes answers;  // frame ACK, start ACK, then the blocks' answers
    const char* line;
};

class BlockFaults : public ::testing::TestWithParam<BlockFault> {};

TEST_P(BlockFaults, EndTheDownloadAndFreeTheLineForCommands) {
    Rig rig;
    const BlockFault& row = GetParam();
    row.inject(rig.simulator);
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(128, 0x5A)), row.answers);
    EXPECT_TRUE(WaitForLine(rig.simulator, row.line));
    // No gap needed: the machine left download mode with the failed block.
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
    // Only the next download is hit.
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(128, 0x5A)), Bytes(7, 0x06));
}

INSTANTIATE_TEST_SUITE_P(Table, BlockFaults,
                         ::testing::Values(BlockFault{"NoAck",
                                                      [](auto& s) { s.InjectBlockNoAck(1); },
                                                      {0x06, 0x06, 0x06},
                                                      "BLOCK 1 addr=0x00004020 -> NOACK"},
                                           BlockFault{
                                               "WrongByte",
                                               [](auto& s) { s.InjectBlockWrongByte(2, 0x15); },
                                               {0x06, 0x06, 0x06, 0x06, 0x15},
                                               "BLOCK 2 addr=0x00004040 -> BYTE 0x15"},
                                           BlockFault{"TrailerNak",
                                                      [](auto& s) { s.InjectTrailerNak(); },
                                                      {0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x15},
                                                      "TRAILER xor=0x00 sum=0x00002d00 -> NAK"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The update sends two downloads, the program image and then the texts: a fault aimed at
// the second must leave the first alone and hit only its own.
struct LaterDownloadFault {
    const char* name;
    std::function<void(tq8sim::Simulator&, uint32_t download)> inject;
    Bytes answers;  // of the aimed download: frame ACK, start answer, blocks, trailer
    const char* line;
};

class LaterDownloadFaults : public ::testing::TestWithParam<LaterDownloadFault> {};

TEST_P(LaterDownloadFaults, HitOnlyTheDownloadTheyAreAimedAt) {
    Rig rig;
    const LaterDownloadFault& row = GetParam();
    row.inject(rig.simulator, 2);
    const Bytes texts(96, 0x3C);
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(64, 0x5A)), Bytes(5, 0x06));
    rig.simulator.ClearTranscript();
    EXPECT_EQ(Download(rig.host, tq8sim::kTextStart, texts, true, 300), row.answers);
    EXPECT_TRUE(WaitForLine(rig.simulator, row.line));
    EXPECT_EQ(rig.simulator.DownloadsStarted(), 2u);
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02})) << "commands again";
    EXPECT_EQ(Download(rig.host, tq8sim::kTextStart, texts), Bytes(6, 0x06)) << "the third";
}

INSTANTIATE_TEST_SUITE_P(
    Table, LaterDownloadFaults,
    ::testing::Values(
        LaterDownloadFault{"EraseNak",
                           [](auto& s, uint32_t d) { s.InjectEraseNak(d); },
                           {0x06, 0x15},
                           "DL start=0x00080000 end=0x0008005f -> NAK reason=injected"},
        LaterDownloadFault{"EraseSilence",
                           [](auto& s, uint32_t d) { s.InjectEraseSilence(d); },
                           {0x06},
                           "DL start=0x00080000 end=0x0008005f -> SILENT"},
        LaterDownloadFault{"BlockNoAck",
                           [](auto& s, uint32_t d) { s.InjectBlockNoAck(1, d); },
                           {0x06, 0x06, 0x06},
                           "BLOCK 1 addr=0x00080020 -> NOACK"},
        LaterDownloadFault{"BlockWrongByte",
                           [](auto& s, uint32_t d) { s.InjectBlockWrongByte(0, 0x15, d); },
                           {0x06, 0x06, 0x15},
                           "BLOCK 0 addr=0x00080000 -> BYTE 0x15"},
        LaterDownloadFault{"TrailerNak",
                           [](auto& s, uint32_t d) { s.InjectTrailerNak(d); },
                           {0x06, 0x06, 0x06, 0x06, 0x06, 0x15},
                           "TRAILER xor=0x00 sum=0x00001680 -> NAK"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Faults, RefusedAndSilentErasesLeaveTheFlashAsItWas) {
    Rig rig;
    ASSERT_EQ(Download(rig.host, 0x4000, Bytes(32, 0x11)), Bytes(4, 0x06));
    rig.simulator.InjectEraseNak();
    rig.simulator.InjectEraseSilence(rig.simulator.DownloadsStarted() + 2);
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(32, 0x22)), (Bytes{0x06, 0x15}));
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(32, 0x33), true, 300), Bytes{0x06});
    EXPECT_EQ(rig.simulator.ReadMemory(0x4000, 32), Bytes(32, 0x11));
    // The refused downloads count: the next is the fourth, and the checksum still tells
    // of the first.
    EXPECT_EQ(rig.simulator.DownloadsStarted(), 3u);
    rig.host.Exchange(Frame(10), 1);
    EXPECT_EQ(DWordAt(rig.host.Exchange(WordBytes(1), 16), 8), 32u * 0x11);
}

TEST(Faults, SlowEraseOfOneDownloadAddsToEveryErase) {
    Rig rig;
    rig.simulator.InjectSlowErase(20);
    rig.simulator.InjectSlowErase(150, 2);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Download(rig.host, 0x4000, Bytes(32, 0)).back(), 0x06);
    }
    const auto lines = rig.simulator.Transcript();
    std::vector<std::string> erases;
    for (const std::string& line : lines) {
        if (line.rfind("DL ", 0) == 0) {
            erases.push_back(line.substr(line.find("erase=")));
        }
    }
    EXPECT_EQ(erases, (std::vector<std::string>{"erase=20ms", "erase=170ms", "erase=20ms"}));
}

TEST(Faults, ClearedFaultsKeepTheCountOfDownloads) {
    Rig rig;
    ASSERT_EQ(Download(rig.host, 0x4000, Bytes(32, 0)).back(), 0x06);
    rig.simulator.InjectTrailerNak(2);
    rig.simulator.ClearFaults();
    rig.simulator.InjectBlockNoAck(0, 3);
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(32, 0)).back(), 0x06) << "cleared";
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(32, 0)), (Bytes{0x06, 0x06}));
}

TEST(Faults, ProgramWordsAimAtTheSecondDownloadInProcessToo) {
    Rig rig;
    std::string error;
    ASSERT_TRUE(tq8sim::ApplyArguments(
        rig.simulator, {"--block-noack", "0", "--in-download", "2", "--erase-nak"}, &error))
        << error;
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(32, 0)), (Bytes{0x06, 0x06}));
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(32, 0)), (Bytes{0x06, 0x15}));
    EXPECT_FALSE(tq8sim::ApplyArguments(rig.simulator, {"--pace"}, &error));
    EXPECT_NE(error.find("already made"), std::string::npos);
    EXPECT_FALSE(tq8sim::ApplyArguments(rig.simulator, {"--in-download", "0"}, &error));
}

TEST(Faults, ChecksumMismatchHitsOnlyItsArea) {
    Rig rig;
    rig.simulator.InjectChecksumMismatch(0);
    for (uint16_t area : {0, 1}) {
        rig.host.Exchange(Frame(10), 1);
        const Bytes report = rig.host.Exchange(WordBytes(area), 16);
        ASSERT_EQ(report.size(), 16u);
        if (area == 0) {
            EXPECT_EQ(DWordAt(report, 12), DWordAt(report, 8) + 1);
        } else {
            EXPECT_EQ(DWordAt(report, 12), 0x7C000u * 0xFF);
        }
    }
}

TEST(Faults, RateRefusalKeepsTheOldRate) {
    Rig rig;
    rig.simulator.InjectRateRefusal();
    rig.host.Exchange(Frame(9), 1);
    EXPECT_EQ(rig.host.Exchange(DWordBytes(38400), 1), Bytes{0x15});
    EXPECT_TRUE(WaitForLine(rig.simulator, "RATE 38400 -> NAK"));
    EXPECT_EQ(rig.simulator.LineRate(), 9600u);
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
}

TEST(Faults, SlowEraseHoldsTheStartAck) {
    Rig rig;
    rig.simulator.InjectSlowErase(500);
    rig.host.Exchange(Frame(7), 1);
    rig.host.Send(Concat({DWordBytes(tq8sim::kGuardCode), DWordBytes(0x4000), DWordBytes(0x401F)}));
    EXPECT_TRUE(rig.host.Receive(1, 200).empty());
    EXPECT_EQ(rig.host.Receive(1), Bytes{0x06});
    EXPECT_TRUE(WaitForLine(rig.simulator, "erase=500ms"));
}

TEST(Faults, VanishAfterBlockTakesTheDeviceAway) {
    Rig rig;
    rig.simulator.InjectVanishAfterBlock(0);
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(64, 0)), (Bytes{0x06, 0x06, 0x06}));
    EXPECT_TRUE(rig.host.LineGone(kAnswerLimitMs));
    EXPECT_TRUE(WaitForLine(rig.simulator, "VANISH after block 0"));
    EXPECT_TRUE(rig.simulator.Vanished());
    EXPECT_FALSE(rig.simulator.Serving());
    struct stat info {};
    EXPECT_NE(stat(rig.simulator.DevicePath().c_str(), &info), 0) << "the pty is gone";
}

TEST(Faults, LineErrorThatEndsTheServingHasALineOfItsOwn) {
    Rig rig;
    rig.host.Exchange(Frame(8), 2);
    ASSERT_TRUE(WaitForLine(rig.simulator, "CMD 8")) << "the machine is done with its line";
    int master = -1;  // the machine's end of the pty, the only one in this process
    for (int fd = 3; fd < 1024 && master < 0; ++fd) {
        char link[32] = {};
        const auto path = "/proc/self/fd/" + std::to_string(fd);
        master =
            readlink(path.c_str(), link, sizeof link - 1) > 0 && link == std::string("/dev/ptmx")
                ? fd
                : -1;
    }
    ASSERT_EQ(close(master), 0);  // the machine's next look at its line fails
    rig.host.Send({0x41});
    EXPECT_TRUE(WaitForLine(rig.simulator, "LINE error " + std::string(strerror(EBADF))));
}

}  // namespace
}  // namespace tq8sim_test
