#include <gtest/gtest.h>

#include <string>

#include "scripted_frontend.h"
#include "support/trace.h"
#include "trace_capture.h"

namespace {

TEST(Trace, LevelFilterPerModule) {
    TraceCapture capture;
    TraceLevels levels(2);
    EXPECT_EQ(TraceProtokoll(4, "{cb}ReadVariable (%d)", 62), 0);
    EXPECT_EQ(TraceFile(2, "{cr}fopen \"%s\" = %s", "x.mot", "gone"), 1);
    nDebugLevelRS232 = 5;
    TraceRS232(5, "{cc}GetByte = %d", 6);
    nDebugLevelSRecord = 0;
    TraceSRecord(2, "{cr}*SRecordValidateCheckSum: Failure!");
    nDebugLevelSRecord = -3;
    TraceSRecord(2, "{cr}*SRecordValidateCheckSum: Failure!");
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0], "{cr}fopen \"x.mot\" = gone");
    EXPECT_EQ(lines[1], "{cc}GetByte = 6");
}

TEST(Trace, PercentFromArgumentPassesThrough) {
    TraceCapture capture;
    TraceLevels levels(4);
    TraceProtokoll(4, "{cb}LoadMotFile (%s)", "C:\\100%d\\TQ8-PROG.MOT");
    ASSERT_EQ(capture.Lines().size(), 1U);
    EXPECT_EQ(capture.Lines()[0], "{cb}LoadMotFile (C:\\100%d\\TQ8-PROG.MOT)");
}

TEST(Trace, LongLinesAreCut) {
    TraceCapture capture;
    TraceLevels levels(5);
    const std::string longText(5000, 'L');
    TraceSRecord(5, "{cc}MOT: %s", longText.c_str());
    ASSERT_EQ(capture.Lines().size(), 1U);
    EXPECT_EQ(capture.Lines()[0].size(), 1023U);
}

TEST(Trace, HexDumpsFollowTheirLevels) {
    TraceCapture capture;
    TraceLevels levels(4);
    const uint8_t bytes[3] = {0x11, 0x00, 0x08};
    HexDumpRS232(5, bytes, 3, "{cm}TX: ");
    EXPECT_TRUE(capture.Dumps().empty());
    nDebugLevelRS232 = 5;
    nDebugLevelProtokoll = 5;
    HexDumpRS232(5, bytes, 3, "{cm}TX: ");
    HexDumpProtokoll(5, bytes, 3, "{cc}DL: ", 0x4020);
    const auto dumps = capture.Dumps();
    ASSERT_EQ(dumps.size(), 2U);
    EXPECT_EQ(dumps[0].label, "{cm}TX: ");
    EXPECT_EQ(dumps[0].bytes, std::vector<uint8_t>(bytes, bytes + 3));
    EXPECT_FALSE(dumps[0].hasAddress);
    EXPECT_TRUE(dumps[1].hasAddress);
    EXPECT_EQ(dumps[1].address, 0x4020U);
}

TEST(Trace, UnboundCallsAreHarmless) {
    FreeDebugLibrary();  // nothing bound: nothing happens
    TraceLevels levels(5);
    EXPECT_EQ(TraceProtokoll(2, "{cr}WaitForData: TimeOut"), 0) << "the fallback returns 0";
    EXPECT_EQ(DebugOutput(nullptr), 0);
    const uint8_t byte = 0;
    HexDumpRS232(5, &byte, 1, "{cc}RX: ");
    HexDumpProtokoll(5, &byte, 1, "{cc}DL: ", 0);
}

TEST(Trace, NullTextOutputsNothing) {
    TraceCapture capture;
    EXPECT_EQ(DebugOutput(nullptr), 0);
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(DebugOutput("{cc}plain"), 1);
    EXPECT_EQ(capture.Lines().size(), 1U);
}

}  // namespace
