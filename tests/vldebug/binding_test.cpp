// The binding and the real library together: what the trace functions hand over is
// what lands in the log.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "log_file.h"
#include "platform/process.h"
#include "scripted_frontend.h"
#include "support/trace.h"
#include "trace_capture.h"

namespace {

const std::string kSource = VLDEBUG_TEST_SOURCE;

class BoundLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        fallbacks_ = FallbackSlots();
        scripted::Reset();
        ASSERT_TRUE(LoadDebugLibrary());
    }
    void TearDown() override { FreeDebugLibrary(); }

    TestLog log_;
    debug_slots::Slots fallbacks_{};
};

TEST_F(BoundLibrary, EveryEntryPointIsBoundWithoutAWarning) {
    EXPECT_EQ(BoundSlots(fallbacks_), std::vector<bool>(6, true));
    EXPECT_TRUE(scripted::Boxes().empty());
    EXPECT_EQ(DebugSource(), kSource);
}

TEST_F(BoundLibrary, LevelsDecideWhichLinesReachTheLog) {
    TraceLevels restore(2);
    nDebugLevelFile = 2;
    nDebugLevelProtokoll = 4;
    nDebugLevelSRecord = 0;
    nDebugLevelRS232 = 5;
    struct Case {
        int (*trace)(int, const char*, ...);
        int level;
        const char* text;
        bool passes;
    };
    const Case cases[] = {
        {TraceFile, 2, "{cr}fopen \"TQ8-PROG.MOT\" failed", true},
        {TraceFile, 3, "{cy} Congratulation! File-handle 3 is lost for this instance!", false},
        {TraceProtokoll, 4, "{cb}ReadVariable (62)", true},
        {TraceProtokoll, 5, "{cc}WaitForData: received all", false},
        {TraceProtokoll, 2, "{cr}WaitForData: TimeOut", true},
        {TraceSRecord, 2, "{cr}*SRecordValidateCheckSum: Failure!", false},
        {TraceRS232, 5, "{cc}GetByte = 6", true},
        {TraceRS232, 3, "{cy}GetExitCodeThread (COM1) = STILL_ACTIVE", true},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        EXPECT_EQ(c.trace(c.level, "%s", c.text), c.passes ? 1 : 0) << c.text;
        if (c.passes) {
            expected.push_back(kSource + c.text);
        }
    }
    nDebugLevelSRecord = -1;
    EXPECT_EQ(TraceSRecord(2, "{cr}*SRecordToBinary: Error"), 0);
    EXPECT_EQ(log_.Lines(), expected);
}

TEST_F(BoundLibrary, ArgumentsArriveFormattedOnceAndCut) {
    TraceLevels levels(5);
    const std::string longName(5000, 'L');
    TraceProtokoll(4, "{cb}LoadMotFile (%s)", "C:\\100%d\\TQ8-PROG.MOT");
    TraceSRecord(5, "{cc}MOT: %s", longName.c_str());
    TraceRS232(4, "{c%c}SetBaudRate (COM%d, %d) %08x %02X %c", 'g', 3, 38400, 0x4020U, 0xAU, 'x');
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[0], kSource + "{cb}LoadMotFile (C:\\100%d\\TQ8-PROG.MOT)");
    EXPECT_EQ(lines[1], kSource + "{cc}MOT: " + std::string(1023 - 9, 'L'));
    EXPECT_EQ(lines[2], kSource + "{cg}SetBaudRate (COM3, 38400) 00004020 0A x");
}

TEST_F(BoundLibrary, HexDumpsCarryTheirLabelsAndAddresses) {
    TraceLevels levels(4);
    const uint8_t answer[] = {0x06, 0x00, 0x2A};
    std::vector<uint8_t> block(32);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(0x40 + i);
    }
    HexDumpRS232(5, answer, sizeof answer, "{cc}RX: ");  // above level 4: dropped
    HexDumpProtokoll(5, block.data(), 32, "{cc}DL: ", 0x4020);
    EXPECT_TRUE(log_.Lines().empty());

    nDebugLevelRS232 = 5;
    nDebugLevelProtokoll = 5;
    HexDumpRS232(5, answer, sizeof answer, "{cc}RX: ");
    HexDumpProtokoll(5, block.data(), 32, "{cc}DL: ", 0x7FFF0);
    const std::vector<std::string> expected = {
        "{cc}RX: 3 bytes",
        "0000  06 00 2A                                          ..*",
        "{cc}DL: 32 bytes",
        "0007FFF0  40 41 42 43 44 45 46 47  48 49 4A 4B 4C 4D 4E 4F  @ABCDEFGHIJKLMNO",
        "00080000  50 51 52 53 54 55 56 57  58 59 5A 5B 5C 5D 5E 5F  PQRSTUVWXYZ[\\]^_",
    };
    EXPECT_EQ(log_.Lines(), expected);
}

TEST_F(BoundLibrary, FreeingPutsEveryFallbackBack) {
    TraceLevels levels(5);
    EXPECT_EQ(TraceProtokoll(2, "{cr}before"), 1);
    FreeDebugLibrary();
    EXPECT_EQ(BoundSlots(fallbacks_), std::vector<bool>(6, false));
    EXPECT_EQ(TraceProtokoll(2, "{cr}after"), 0);
    const uint8_t byte = 0x15;
    HexDumpRS232(5, &byte, 1, "{cc}RX: ");
    HexDumpProtokoll(5, &byte, 1, "{cc}DL: ", 0);
    FreeDebugLibrary();  // nothing bound: harmless
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{kSource + "{cr}before"});
    // And it binds again afterwards.
    ASSERT_TRUE(LoadDebugLibrary());
    EXPECT_EQ(TraceProtokoll(2, "{cr}again"), 1);
    EXPECT_EQ(log_.Lines().back(), kSource + "{cr}again");
}

TEST_F(BoundLibrary, LogThatCannotBeWrittenIsReportedAndLeftBehind) {
    TraceLevels levels(2);
    const std::string nowhere =
        (std::filesystem::path(log_.Path()).parent_path() / "no-such-folder" / "x.log").string();
    ASSERT_TRUE(platform::SetEnvironment("VLDEBUG_LOG", nowhere));
    EXPECT_EQ(TraceProtokoll(2, "{cr}lost"), 0);
    // Pointing the log somewhere writable again takes effect at the next line.
    ASSERT_TRUE(platform::SetEnvironment("VLDEBUG_LOG", log_.Path()));
    EXPECT_EQ(TraceProtokoll(2, "{cr}kept"), 1);
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{kSource + "{cr}kept"});
}

TEST_F(BoundLibrary, TerminalShowsTheColourInsteadOfTheTag) {
    TraceLevels levels(2);
    ASSERT_TRUE(platform::SetEnvironment("VLDEBUG_STDERR", "1"));
    ::testing::internal::CaptureStderr();
    TraceProtokoll(2, "{cr}*WriteVariable (%d): FAILED", 60);
    const std::string shown = ::testing::internal::GetCapturedStderr();
    platform::SetEnvironment("VLDEBUG_STDERR", "0");
    EXPECT_NE(shown.find(kSource + "*WriteVariable (60): FAILED"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("{cr}"), std::string::npos) << shown;
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{kSource + "{cr}*WriteVariable (60): FAILED"});
}

TEST_F(BoundLibrary, TwoThreadsNeverShareALine) {
    TraceLevels levels(5);
    constexpr int kLines = 400;
    const std::string payloadA(300, 'a');
    const std::string payloadB(300, 'b');
    std::vector<uint8_t> bytes(40, 0x55);
    std::atomic<bool> go{false};  // both start together, so their output overlaps
    std::thread poll([&] {
        while (!go) {
        }
        for (int i = 0; i < kLines; ++i) {
            TraceRS232(5, "{cc}poll %04d %s", i, payloadA.c_str());
            HexDumpRS232(5, bytes.data(), static_cast<uint32_t>(bytes.size()), "{cc}RX: ");
        }
    });
    go = true;
    for (int i = 0; i < kLines; ++i) {
        TraceProtokoll(4, "{cb}main %04d %s", i, payloadB.c_str());
    }
    poll.join();

    const std::string rowA =
        "0000  55 55 55 55 55 55 55 55  55 55 55 55 55 55 55 55  UUUUUUUUUUUUUUUU";
    const std::string rowC = "0020  55 55 55 55 55 55 55 55                           UUUUUUUU";
    const auto lines = log_.Lines();
    int polls = 0;
    int mains = 0;
    char buf[32];
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line == "{cc}RX: 40 bytes") {
            // A dump is one block: its rows follow its label directly.
            ASSERT_LT(i + 3, lines.size());
            EXPECT_EQ(lines[i + 1], rowA);
            EXPECT_EQ(lines[i + 2].substr(0, 4), "0010");
            EXPECT_EQ(lines[i + 3], rowC);
            i += 3;
        } else if (line.rfind(kSource + "{cc}poll ", 0) == 0) {
            std::snprintf(buf, sizeof buf, "%04d ", polls++);
            EXPECT_EQ(line, kSource + "{cc}poll " + buf + payloadA);
        } else {
            std::snprintf(buf, sizeof buf, "%04d ", mains++);
            ASSERT_EQ(line, kSource + "{cb}main " + buf + payloadB);
        }
    }
    EXPECT_EQ(polls, kLines);
    EXPECT_EQ(mains, kLines);
    EXPECT_EQ(lines.size(), static_cast<size_t>(kLines * 5 + kLines));
}

}  // namespace
