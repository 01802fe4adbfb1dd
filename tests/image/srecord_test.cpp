#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/srecord.h"
#include "test_files.h"
#include "trace_capture.h"

using imagetest::Bytes;
using imagetest::Damaged;
using imagetest::Rec;
using imagetest::TempDir;

namespace {

struct Decoded {
    int result;
    uint32_t address;
    uint32_t count;
    std::vector<uint8_t> data;
};

Decoded Decode(const std::string& line) {
    uint8_t data[kSRecordDataSize];
    std::fill(std::begin(data), std::end(data), 0xEE);
    uint32_t address = 0xDEADBEEF;
    uint32_t count = 0xDEADBEEF;
    const int result = SRecordDecode(line.c_str(), data, address, count);
    return {result, address, count,
            std::vector<uint8_t>(data, data + std::min<uint32_t>(count, kSRecordDataSize))};
}

TEST(SRecordDecode, ResultsAddressesAndCounts) {
    const std::string s1 = Rec('1', 0x0000, 2, Bytes(16));
    std::string lower = Rec('2', 0xABCDEF, 3, {0xAB, 0xCD});
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    lower[0] = 'S';
    std::string longest = Rec('1', 0x1234, 2, Bytes(252));
    std::string tooLong = longest + "0";
    std::string countBeyondLine = s1.substr(0, s1.size() - 4);
    std::string countTooSmall = "S1021234" + std::string("B7");
    std::string nonHexData = s1;
    nonHexData[10] = 'G';
    std::string nonHexCount = "S1G30000FC";
    std::string lowerMark = s1;
    lowerMark[0] = 's';
    struct Case {
        const char* what;
        std::string line;
        int result;
        uint32_t address;
        uint32_t count;
    } cases[] = {
        {"S1 count 0x13", s1, 1, 0x0000, 16},
        {"S2", Rec('2', 0x080000, 3, Bytes(32)), 1, 0x080000, 32},
        {"S3", Rec('3', 0x12345678, 4, Bytes(4)), 1, 0x12345678, 4},
        {"S3 high address", Rec('3', 0xFFFFFFF0, 4, Bytes(16)), 1, 0xFFFFFFF0, 16},
        {"lower-case digits", lower, 1, 0xABCDEF, 2},
        {"trailing characters", s1 + "  ;x", 1, 0, 16},
        {"longest S1 (count 0xFF)", longest, 1, 0x1234, 252},
        {"longest S3", Rec('3', 0x4000, 4, Bytes(250)), 1, 0x4000, 250},
        {"SI", Rec('I', 0x000708, 4), -3, 0x000708, 0},
        {"SV", Rec('V', 0, 1, {1, 3, 0, 7}), -2, 0, 4},
        {"S0", Rec('0', 0, 2, {'T', 'Q', '8'}), -6, 0, 0},
        {"S7", Rec('7', 0, 4), -7, 0, 0},
        {"S8", Rec('8', 0, 3), -7, 0, 0},
        {"S9", Rec('9', 0, 2), -4, 0, 0},
        {"empty", "", -5, 0, 0},
        {"S5 record count", "S5030003F9", -8, 0, 0},
        {"S4", Rec('4', 0, 2), -8, 0, 0},
        {"lower-case mark", lowerMark, -10, 0, 0},
        {"no mark", ":10000000", -10, 0, 0},
        {"S1 checksum", Damaged(s1), -9, 0, 16},
        {"S0 checksum", Damaged(Rec('0', 0, 2, {'T'})), -9, 0, 0},
        {"S9 checksum", Damaged(Rec('9', 0, 2)), -9, 0, 0},
        {"SI checksum", Damaged(Rec('I', 0x0708, 4)), -9, 0x0708, 0},
        {"line longer than any record", tooLong, -9, 0, 0},
        {"count beyond the line", countBeyondLine, -9, 0, 0},
        {"count below address + checksum", countTooSmall, -9, 0, 0},
        {"non-hex data", nonHexData, -9, 0, 0},
        {"non-hex count", nonHexCount, -9, 0, 0},
        {"S9 count beyond the line", "S9FF0000", -9, 0, 0},
        {"S9 count 0", "S900FF", -9, 0, 0},
        {"SV with three data bytes", Rec('V', 0, 1, {1, 3, 0}), -9, 0, 3},
        {"SV with five data bytes", Rec('V', 7, 1, {1, 3, 0, 7, 9}), -2, 7, 5},
        {"mark only", "S", -8, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Decoded d = Decode(c.line);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.address, c.address);
        EXPECT_EQ(d.count, c.count);
    }
    // Data of a damaged record arrive as read.
    EXPECT_EQ(Decode(Damaged(s1)).data, Bytes(16));
    EXPECT_EQ(Decode(longest).data, Bytes(252));
}

TEST(SRecordDecode, SmallDataBufferIsRefusedNotOverrun) {
    const std::string line = Rec('1', 0x4000, 2, Bytes(40));
    uint8_t small[20];
    uint32_t address = 0;
    uint32_t count = 0;
    EXPECT_EQ(SRecordDecode(line.c_str(), small, address, count), kSRecordBadRecord);
    EXPECT_EQ(count, 0U);
    // Without a buffer the record is still checked.
    EXPECT_EQ(SRecordToBinary(line.c_str(), {}, address, count, 2), 1);
    EXPECT_EQ(count, 40U);
}

TEST(SRecordDecode, TraceLines) {
    TraceCapture trace;
    EXPECT_EQ(Decode("S5030003F9").result, -8);
    EXPECT_TRUE(trace.Has("{cr}cannot interprete line \"S5030003F9\"!"));
    // S1 count 0x05, address 0x4000, data 0x11 0x22: sum 0x78, checksum 0x87.
    EXPECT_EQ(Decode("S105400011228A").result, -9);
    EXPECT_TRUE(trace.Has("{cr}*SRecordToBinary: Checksum error (file = 0x8a; calculated = 0x87"));
    EXPECT_EQ(Decode("S9030000FC").result, -4);
    EXPECT_EQ(Decode("S9030000FD").result, -9);
    EXPECT_TRUE(trace.Has("{cr}*SRecordValidateCheckSum: Failure!"));
    trace.Clear();
    {
        TraceLevels levels(5);
        Decode("S9030000FC");
    }
    EXPECT_TRUE(trace.Has("{cc}SRecordDecode (S9030000FC)"));
    EXPECT_TRUE(trace.Has("{cb}SRecordValidateCheckSum (S9030000FC)"));
    EXPECT_TRUE(trace.Has("{cg}*SRecordValidateCheckSum"));
}

TEST(SRecordDecode, DataByte) {
    const std::string line = Rec('2', 0x4000, 3, {0x00, 0x7F, 0xFF});
    struct Case {
        std::string line;
        int position;
        int byte;
    } cases[] = {
        {line, 0, 0x00},
        {line, 1, 0x7F},
        {line, 2, 0xFF},
        {line, 3, -1},
        {line, -1, -1},
        {Damaged(line), 0, -1},
        {Rec('V', 0, 1, {1, 2, 3, 4}), 0, -1},
        {"", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line + " @" + std::to_string(c.position));
        EXPECT_EQ(SRecordGetDataByte(c.line.c_str(), c.position), c.byte);
    }
}

// Scans over files written from lines, with each line end.
class SRecordScan : public ::testing::TestWithParam<const char*> {
  protected:
    FileObj& Open(const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& l : lines) {
            text += l + GetParam();
        }
        path_ = dir_.File("scan.mot");
        file_.reset();  // Windows lets nobody write a file that is open for reading
        imagetest::WriteFile(path_, text);
        file_ = std::make_unique<FileObj>();
        EXPECT_EQ(file_->fopen(path_.c_str(), platform::kGenericRead, platform::kFileShareRead,
                               platform::kOpenExisting, platform::kFileAttributeNormal, 0),
                  1);
        return *file_;
    }
    static void ExpectRewound(FileObj& file) {
        EXPECT_EQ(file.fpos(), 0);
        EXPECT_EQ(file.nLine, 0);
    }
    TempDir dir_;
    std::string path_;
    std::unique_ptr<FileObj> file_;
};

const std::string kHeader = Rec('0', 0, 2, {'T', 'Q', '8', '-'});

TEST_P(SRecordScan, StartAddress) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        int32_t start;
    } cases[] = {
        {"header, SV, data",
         {kHeader, Rec('V', 0, 1, {1, 3, 0, 7}), Rec('1', 0x4000, 2, Bytes(16))},
         0x4000},
        {"first in file order",
         {Rec('2', 0x5000, 3, Bytes(4)), Rec('2', 0x4000, 3, Bytes(4))},
         0x5000},
        {"empty line first", {kHeader, "", Rec('1', 0x4000, 2, Bytes(4))}, 0},
        {"termination first", {kHeader, Rec('9', 0, 2)}, 0},
        {"damaged data record keeps its address", {Damaged(Rec('1', 0x4400, 2, Bytes(4)))}, 0x4400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileObj& file = Open(c.lines);
        EXPECT_EQ(SRecordGetStartAddress(file), c.start);
        ExpectRewound(file);
    }
    FileObj& onlyHeaders = Open({kHeader, Rec('I', 0x708, 4), Rec('V', 0, 1, {1, 0, 0, 1})});
    TraceCapture trace;
    EXPECT_EQ(SRecordGetStartAddress(onlyHeaders), -1);
    EXPECT_GT(onlyHeaders.fpos(), 0) << "no record found: the file is not rewound";
    EXPECT_EQ(trace.CountPrefix("{cg}*SRecordGetStartAddress"), 0U);
}

TEST_P(SRecordScan, EndAddressAndDataSize) {
    FileObj& file = Open({kHeader, Rec('1', 0x4000, 2, Bytes(16)), Rec('1', 0x3FF0, 2, Bytes(16)),
                          "S5030003F9", Damaged(Rec('1', 0x9000, 2, Bytes(16))),
                          Rec('1', 0x8000, 2, Bytes(8)), Rec('9', 0, 2)});
    EXPECT_EQ(SRecordGetEndAddress(file), 0x8008);
    ExpectRewound(file);
    TraceCapture trace;
    EXPECT_EQ(SRecordGetFileSizeBinary(file, false), -1) << "the S5 line ends the size scan";
    EXPECT_TRUE(trace.Has("{cr}Fehler -8 in Zeile 4 beim Lesen der S-Record-Datei"));

    FileObj& clean = Open(
        {kHeader, Rec('1', 0x3FF0, 2, Bytes(16)), Rec('1', 0x4000, 2, Bytes(16)), Rec('9', 0, 2)});
    {
        TraceLevels levels(4);
        trace.Clear();
        EXPECT_EQ(SRecordGetFileSizeBinary(clean, false), 16);
        EXPECT_TRUE(trace.Has("{cg}*Header-Data: model = 54, firmware = 51"));
        EXPECT_TRUE(trace.Has("{cg}*SRecordGetFileSizeBinary = 16"));
    }
    ExpectRewound(clean);
    EXPECT_EQ(SRecordGetFileSizeBinary(clean, true), 32);

    const std::string bad = Damaged(Rec('1', 0x4000, 2, Bytes(4)));
    FileObj& damaged = Open({kHeader, bad});
    trace.Clear();
    EXPECT_EQ(SRecordGetFileSizeBinary(damaged, false), -1);
    EXPECT_TRUE(trace.Has("{cr}Checksum error in line 2 \"" + bad + "\"!"));

    FileObj& none = Open({kHeader, Rec('9', 0, 2)});
    EXPECT_EQ(SRecordGetEndAddress(none), -1);
}

TEST_P(SRecordScan, LinesLongerThanAnyRecordCountOnce) {
    const std::string longest = Rec('1', 0x4000, 2, Bytes(252));
    // 600 characters: the rest after the first piece must not be read as records.
    const std::string overlong = Rec('1', 0x6000, 2, Bytes(8)) + std::string(580, '0');
    FileObj& file = Open({kHeader, longest, overlong, Rec('1', 0x5000, 2, Bytes(4))});
    EXPECT_EQ(SRecordGetEndAddress(file), 0x5004);
    TraceCapture trace;
    EXPECT_EQ(SRecordGetFileSizeBinary(file, false), -1);
    EXPECT_EQ(trace.CountPrefix("{cr}Checksum error in line 3 "), 1U);
    FileObj& good = Open({kHeader, longest});
    EXPECT_EQ(SRecordGetFileSizeBinary(good, false), 252);
}

TEST_P(SRecordScan, TargetAndVersions) {
    FileObj& file = Open({kHeader, Damaged(Rec('I', 0x111111, 4)), Rec('I', 0x000708, 4),
                          Rec('I', 0x222222, 4), Rec('V', 1, 1, {9, 9, 0, 9}),
                          Damaged(Rec('V', 0, 1, {7, 7, 7, 7})), Rec('V', 0, 1, {2, 5, 0, 0x1F}),
                          Rec('V', 0, 1, {3, 0, 0, 0}), Rec('1', 0x4000, 2, Bytes(4))});
    TraceLevels levels(4);
    TraceCapture trace;
    EXPECT_EQ(SRecordGetTargetIdentifier(file), 0x000708U);
    ExpectRewound(file);
    EXPECT_TRUE(trace.Has("{cg}*SRecordGetTargetIdentifier (" + path_ + ") = 0x000708"));
    EXPECT_EQ(SRecordGetVersionIdentifier(file, 0), 0x0205001FU) << "2.05.31, first valid wins";
    ExpectRewound(file);
    EXPECT_EQ(SRecordGetVersionIdentifier(file, 1), 0x09090009U);
    trace.Clear();
    EXPECT_EQ(SRecordGetVersionIdentifier(file, 5), 0xFFFFFFFFU);
    ExpectRewound(file);
    EXPECT_TRUE(trace.Has("{cb}SRecordGetVersionIdentifier (" + path_ + ", 5)"));
    EXPECT_TRUE(trace.Has("{cg}*SRecordGetVersionIdentifier (" + path_ + ") = 0xffffffff"));

    FileObj& bare = Open({kHeader, Rec('1', 0x4000, 2, Bytes(4))});
    EXPECT_EQ(SRecordGetTargetIdentifier(bare), 0U);
    ExpectRewound(bare);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, SRecordScan, ::testing::Values("\r\n", "\n", "\r"),
                         [](const auto& info) {
                             return std::string(info.param) == "\r\n" ? "CrLf"
                                    : std::string(info.param) == "\n" ? "Lf"
                                                                      : "Cr";
                         });

}  // namespace
