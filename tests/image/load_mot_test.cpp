#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/load_mot.h"
#include "image/srecord.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "scripted_frontend.h"
#include "srecgen.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/utils.h"
#include "test_files.h"
#include "trace_capture.h"

using imagetest::Bytes;
using imagetest::Corrupt;
using imagetest::Damaged;
using imagetest::Rec;
using imagetest::TempDir;

namespace {

class LoadMotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CopyString(szProgramDirectory, dir_.Path().c_str(), sizeof szProgramDirectory);
        SetUser("operator");
        scripted::Reset();
    }
    void TearDown() override {
        platform::SetUserNameOverride(nullptr);
        szProgramDirectory[0] = '\0';
        nLanguageOffset = 0;
    }
    void SetUser(const std::string& name) {
        user_ = name;
        platform::SetUserNameOverride(&user_);
    }
    std::string Ini() const { return dir_.File("TQ8-CRC.INI"); }

    // Writes the lines as TQ8-PROG.MOT and opens it.
    FileObj& OpenLines(const std::vector<std::string>& lines, const char* name = "TQ8-PROG.MOT") {
        std::string text;
        for (const std::string& l : lines) {
            text += l + "\r\n";
        }
        return OpenText(text, name);
    }
    FileObj& OpenText(const std::string& text, const char* name = "TQ8-PROG.MOT") {
        const std::string path = dir_.File(name);
        file_.reset();  // Windows lets nobody write a file that is open for reading
        imagetest::WriteFile(path, text);
        file_ = std::make_unique<FileObj>();
        EXPECT_EQ(file_->fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                               platform::kOpenExisting, platform::kFileAttributeNormal, 0),
                  1);
        return *file_;
    }
    void StoreCrc(uint32_t crc, const char* key = "TQ8-PROG.MOT") {
        ASSERT_TRUE(srecgen::WriteChecksum(dir_.Path(), key, crc));
    }
    int Load() { return LoadMotFile(*file_, image_, start_, size_); }

    TempDir dir_;
    std::string user_;
    std::unique_ptr<FileObj> file_;
    MemoryImage image_;
    uint32_t start_ = 0xAAAAAAAA;
    uint32_t size_ = 0xAAAAAAAA;
};

srecgen::Options Gen(int type, std::vector<srecgen::Segment> segments, int length = 32) {
    srecgen::Options o;
    o.type = type;
    o.segments = std::move(segments);
    o.recordLength = length;
    o.hasTarget = true;
    o.target = 0x708;
    o.versions = {{0, srecgen::PackVersion(1, 3, 7)}};
    return o;
}

TEST_F(LoadMotTest, ImagesOfGeneratedFiles) {
    struct Case {
        const char* what;
        srecgen::Options options;
        uint32_t start;
        uint32_t size;
    } cases[] = {
        {"one record at 0x4010", Gen(1, {{0x4010, 16}}), 0x4000, 0x20},
        {"end exactly at 0x8000", Gen(1, {{0x4000, 0x4000}}), 0x4000, 0x4000},
        {"gap between records", Gen(2, {{0x4000, 0x100}, {0x5000, 0x40}}), 0x4000, 0x1040},
        {"S3, 250-byte records", Gen(3, {{0x80000, 3000}}, 250), 0x80000, 3008},
        {"unaligned both ends", Gen(2, {{0x4005, 0x33}}, 16), 0x4000, 0x40},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (auto lineEnd : {srecgen::LineEnd::CrLf, srecgen::LineEnd::Lf, srecgen::LineEnd::Cr}) {
            for (bool shuffle : {false, true}) {
                c.options.lineEnd = lineEnd;
                c.options.shuffle = shuffle;
                std::string error;
                const srecgen::Output out = srecgen::Generate(c.options, error);
                ASSERT_FALSE(out.text.empty()) << error;
                StoreCrc(out.crc);
                OpenText(out.text);
                scripted::Reset();
                ASSERT_EQ(Load(), 1);
                EXPECT_EQ(start_, c.start);
                EXPECT_EQ(size_, c.size);
                EXPECT_EQ(image_.LockCount(), 0) << "handed back unlocked";
                ASSERT_EQ(image_.Size(), size_);
                EXPECT_TRUE(std::equal(out.image.begin(), out.image.end(), image_.Bytes().begin()));
                EXPECT_EQ(file_->fpos(), 0);
                EXPECT_TRUE(scripted::Boxes().empty());
            }
        }
    }
}

TEST_F(LoadMotTest, FillAndPlacement) {
    OpenLines({Rec('0', 0, 2, {'T'}), Rec('V', 0, 1, {1, 3, 0, 7}),
               Rec('1', 0x4010, 2, Bytes(16, 0x40)), Rec('1', 0x4030, 2, Bytes(8, 0x80)),
               Rec('9', 0, 2)});
    std::vector<uint8_t> expected(0x40, 0xFF);
    std::copy_n(Bytes(16, 0x40).begin(), 16, expected.begin() + 0x10);
    std::copy_n(Bytes(8, 0x80).begin(), 8, expected.begin() + 0x30);
    StoreCrc(Crc32(expected.data(), expected.size()));
    TraceLevels levels(4);
    TraceCapture trace;
    ASSERT_EQ(Load(), 1);
    EXPECT_EQ(start_, 0x4000U);
    EXPECT_EQ(std::vector<uint8_t>(image_.Bytes().begin(), image_.Bytes().end()), expected);
    EXPECT_TRUE(trace.Has("{cb}LoadMotFile (" + dir_.File("TQ8-PROG.MOT") + ")"));
    EXPECT_TRUE(trace.Has("{cb}LoadMotFile (start = 0x00004000, size = 0x00000040)"));
}

TEST_F(LoadMotTest, RecordBelowTheFirstWidensTheImage) {
    OpenLines(
        {Rec('2', 0x5000, 3, Bytes(16, 1)), Rec('2', 0x3FF8, 3, Bytes(16, 2)), Rec('8', 0, 3)});
    std::vector<uint8_t> expected(0x5020 - 0x3FE0, 0xFF);
    std::copy_n(Bytes(16, 2).begin(), 16, expected.begin() + (0x3FF8 - 0x3FE0));
    std::copy_n(Bytes(16, 1).begin(), 16, expected.begin() + (0x5000 - 0x3FE0));
    StoreCrc(Crc32(expected.data(), expected.size()));
    ASSERT_EQ(Load(), 1);
    EXPECT_EQ(start_, 0x3FE0U);
    EXPECT_EQ(size_, expected.size());
    EXPECT_EQ(std::vector<uint8_t>(image_.Bytes().begin(), image_.Bytes().end()), expected);
}

TEST_F(LoadMotTest, RefusedFiles) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        const char* trace;
        bool sizesSet;
    } cases[] = {
        {"nothing after the headers",
         {Rec('0', 0, 2, {'T'}), Rec('I', 0x708, 4)},
         "Error in MOT-File",
         false},
        {"records but no valid data",
         {Rec('0', 0, 2, {'T'}), Rec('V', 0, 1, {1, 0, 0, 0}),
          Damaged(Rec('1', 0x4000, 2, Bytes(4))), Rec('9', 0, 2)},
         "Error in MOT-File",
         false},
        {"data record without bytes",
         {Rec('1', 0x4000, 2), Rec('9', 0, 2)},
         "Error in MOT-File",
         false},
        {"image above 64 MiB",
         {Rec('3', 0x0, 4, Bytes(4)), Rec('3', 0x4000000, 4, Bytes(4))},
         "Could not allocate memory for binary data",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenLines(c.lines);
        TraceCapture trace;
        start_ = size_ = 0xAAAAAAAA;
        EXPECT_EQ(Load(), 0);
        EXPECT_TRUE(trace.Has(c.trace));
        EXPECT_TRUE(image_.Empty());
        EXPECT_EQ(start_ != 0xAAAAAAAA, c.sizesSet);
        EXPECT_TRUE(scripted::Boxes().empty());
        EXPECT_FALSE(imagetest::Exists(Ini()));
    }
    // Exactly 64 MiB still loads.
    OpenLines({Rec('3', 0x0, 4, Bytes(4)), Rec('3', 0x4000000 - 4, 4, Bytes(4))});
    EXPECT_EQ(Load(), 0) << "no stored value";
    EXPECT_EQ(image_.Size(), 64U << 20);
}

TEST_F(LoadMotTest, ChecksumMismatchLeavesTheImageWithTheCaller) {
    const std::vector<std::string> intact = {Rec('1', 0x4000, 2, Bytes(32)),
                                             Rec('1', 0x4020, 2, Bytes(32, 0x20)),
                                             Rec('1', 0x4040, 2, Bytes(32, 0x40))};
    OpenLines(intact);
    ASSERT_EQ(
        LoadMotFileWith(*file_, image_, start_, size_, {dir_.Path(), false, false, kMaxImageSize}),
        0);
    const uint32_t good = Crc32(image_.Bytes().data(), image_.Size());
    StoreCrc(good);

    struct Case {
        const char* what;
        std::vector<std::string> lines;
        int result;
    } cases[] = {
        {"damaged data record", {intact[0], Corrupt(intact[1]), intact[2]}, 0},
        // Only the checksum character is wrong: the image is the intact one.
        {"wrong checksum character", {intact[0], Damaged(intact[1]), intact[2]}, 1},
        // A damaged record is copied only where it overlaps the image: far above it
        // changes nothing, just below it overwrites the image's first bytes.
        {"damaged record far above",
         {intact[0], intact[1], intact[2], Damaged(Rec('3', 0xFFFFFFF0, 4, Bytes(16)))},
         1},
        {"damaged record below",
         {intact[0], intact[1], intact[2], Damaged(Rec('1', 0x3FF8, 2, Bytes(16)))},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        scripted::Reset();
        OpenLines(c.lines);
        EXPECT_EQ(Load(), c.result);
        EXPECT_EQ(start_, 0x4000U);
        EXPECT_EQ(size_, 0x60U);
        EXPECT_FALSE(image_.Empty()) << "allocated, filled, and the caller's";
        EXPECT_EQ(image_.LockCount(), 0);
        EXPECT_EQ(file_->fpos(), 0);
        const auto boxes = scripted::Boxes();
        if (c.result == 1) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1U);
        EXPECT_EQ(boxes[0].text, LoadText(2460));
        EXPECT_EQ(boxes[0].caption, LoadText(2461));
        EXPECT_EQ(boxes[0].type, kMbOk | kMbIconError);
        EXPECT_EQ(boxes[0].owner, hMainWnd);
    }
    // Where the damaged bytes overlap the image they are copied as read.
    OpenLines({intact[0], Corrupt(intact[1]), intact[2]});
    Load();
    std::vector<uint8_t> asRead = Bytes(32, 0x20);
    asRead[0] = 0x30;
    EXPECT_EQ(std::vector<uint8_t>(image_.Bytes().begin() + 0x20, image_.Bytes().begin() + 0x40),
              asRead);
    // A damaged last record lies beyond the image, which the valid records span alone.
    OpenLines({intact[0], intact[1], Damaged(intact[2])});
    EXPECT_EQ(Load(), 0);
    EXPECT_EQ(size_, 0x40U);
}

TEST_F(LoadMotTest, NormalUserNeverWrites) {
    OpenLines({Rec('1', 0x4000, 2, Bytes(32))});
    nLanguageOffset = 1000;
    EXPECT_EQ(Load(), 0);
    EXPECT_FALSE(imagetest::Exists(Ini()));
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].caption,
              "Pr\xFC"
              "fsummentest fehlgeschlagen!");
}

TEST_F(LoadMotTest, MaintainerBringsTheStoredValueUpToDate) {
    OpenLines({Rec('1', 0x4000, 2, Bytes(32))});
    StoreCrc(12345, "TQ8-TEXT.MOT");  // another file's value stays
    SetUser("Greta.HOLMFELD");
    ASSERT_EQ(Load(), 1);
    const uint32_t crc = Crc32(image_.Bytes().data(), image_.Size());
    EXPECT_EQ(platform::ProfileGetInt("CRC", "TQ8-PROG.MOT", 0, Ini().c_str()),
              static_cast<int32_t>(crc));
    EXPECT_EQ(platform::ProfileGetInt("CRC", "TQ8-TEXT.MOT", 0, Ini().c_str()), 12345);
    const std::string ini = imagetest::ReadFile(Ini());
    EXPECT_NE(ini.find("[CRC]"), std::string::npos);
    EXPECT_NE(ini.find("TQ8-PROG.MOT=" + std::to_string(static_cast<int32_t>(crc))),
              std::string::npos)
        << ini;
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].text, LoadText(2462));
    EXPECT_EQ(scripted::Boxes()[0].caption, "TQ8-PROG.MOT: CRC written");
    EXPECT_EQ(scripted::Boxes()[0].type, kMbOk | kMbIconInformation);
    EXPECT_EQ(imagetest::DirectoryEntries(dir_.Path()).size(), 2U) << "no temporary file left";

    // Matching already: nothing written, nothing shown.
    scripted::Reset();
    const std::string before = imagetest::ReadFile(Ini());
    OpenLines({Rec('1', 0x4000, 2, Bytes(32))});
    ASSERT_EQ(Load(), 1);
    EXPECT_TRUE(scripted::Boxes().empty());
    EXPECT_EQ(imagetest::ReadFile(Ini()), before);
}

TEST_F(LoadMotTest, WhoIsAMaintainer) {
    struct Case {
        const char* name;
        bool maintainer;
    } cases[] = {
        {"greta.holmfeld", true},
        {"JONAS.WIEDERKEHR", true},
        {"greta.holmfeld2", false},
        {"greta", false},
        {"", false},
        {"operator", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsMaintainerAccount(c.name), c.maintainer) << c.name;
    }
    EXPECT_FALSE(IsMaintainerAccount(std::string(40, 'g'))) << "names beyond 31 characters";
}

TEST_F(LoadMotTest, MaintainerLoadOfADamagedFileWritesNothing) {
    std::string notHex = Rec('2', 0x4020, 3, Bytes(8));
    notHex[12] = 'G';
    struct Case {
        const char* what;
        std::string bad;
    } cases[] = {
        {"checksum", Damaged(Rec('1', 0x4020, 2, Bytes(8)))},
        {"not hexadecimal", notHex},
        {"count beyond the line", Rec('3', 0x4020, 4, Bytes(8)).substr(0, 20)},
    };
    SetUser("jonas.wiederkehr");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        scripted::Reset();
        OpenLines({Rec('1', 0x4000, 2, Bytes(32)), c.bad});
        TraceCapture trace;
        EXPECT_EQ(Load(), 0);
        EXPECT_FALSE(imagetest::Exists(Ini()));
        EXPECT_EQ(trace.CountPrefix("{cr}LoadMotFile (" + dir_.File("TQ8-PROG.MOT") +
                                    "): line 2 cannot be used"),
                  1U);
        ASSERT_EQ(scripted::Boxes().size(), 1U);
        EXPECT_EQ(scripted::Boxes()[0].caption, LoadText(2461));
        EXPECT_EQ(image_.LockCount(), 0);
    }
}

// Record counts and lines that are no records carry no data, and S-record tools write
// them: a maintainer registers such a file like any other.
TEST_F(LoadMotTest, MaintainerRegistersAFileWithARecordCount) {
    const std::vector<std::string> data = {Rec('1', 0x4000, 2, Bytes(32)),
                                           Rec('1', 0x4020, 2, Bytes(16, 0x80))};
    const std::vector<std::string> withCount = {
        Rec('0', 0, 2, {'T'}), data[0], data[1], "S5030002FA", "written by a tool", Rec('9', 0, 2)};
    SetUser("greta.holmfeld");
    OpenLines(withCount);
    LoadReport report;
    LoadOptions options{dir_.Path(), true, true, kMaxImageSize};
    ASSERT_EQ(LoadMotFileWith(*file_, image_, start_, size_, options, &report), 1);
    EXPECT_TRUE(report.crcWritten);
    EXPECT_EQ(report.damagedLines, 2);
    EXPECT_EQ(report.damagedDataRecords, 0);
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].caption, "TQ8-PROG.MOT: CRC written");

    // What the maintainer stored is what an operator's load of the same file checks,
    // and the count adds nothing: the file without it verifies as well.
    const int32_t stored = platform::ProfileGetInt("CRC", "TQ8-PROG.MOT", 0, Ini().c_str());
    EXPECT_EQ(stored, static_cast<int32_t>(report.crc));
    SetUser("operator");
    for (const auto& lines : {withCount, data}) {
        scripted::Reset();
        OpenLines(lines);
        ASSERT_EQ(LoadMotFileWith(*file_, image_, start_, size_, options, &report), 1);
        EXPECT_EQ(static_cast<int32_t>(report.crc), stored);
        EXPECT_FALSE(report.crcWritten);
        EXPECT_TRUE(scripted::Boxes().empty());
    }
}

// A data record without bytes writes nothing, yet its address counts for the end of the
// image, and, as the first record, for its start; an empty record further down below the
// data changes nothing.
TEST_F(LoadMotTest, DataRecordsWithoutBytesWidenTheSpan) {
    // Every case holds its data bytes at 0x4000.
    struct Case {
        const char* what;
        size_t dataBytes;
        std::vector<std::string> lines;
        uint32_t start;
        uint32_t size;
    } cases[] = {
        {"S1 beyond the data",
         32,
         {Rec('1', 0x4000, 2, Bytes(32)), Rec('1', 0x4100, 2)},
         0x4000,
         0x100},
        {"S3 beyond, unaligned",
         16,
         {Rec('3', 0x4000, 4, Bytes(16)), Rec('3', 0x4041, 4), Rec('7', 0, 4)},
         0x4000,
         0x60},
        {"S2 below, first in the file",
         16,
         {Rec('0', 0, 2, {'T'}), Rec('2', 0x3F10, 3), Rec('2', 0x4000, 3, Bytes(16))},
         0x3F00,
         0x120},
        {"S1 below, after the data",
         16,
         {Rec('1', 0x4000, 2, Bytes(16)), Rec('1', 0x3000, 2)},
         0x4000,
         0x20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> expected(c.size, 0xFF);
        const std::vector<uint8_t> data = Bytes(c.dataBytes);
        std::copy(data.begin(), data.end(), expected.begin() + (0x4000 - c.start));
        StoreCrc(Crc32(expected.data(), expected.size()));
        OpenLines(c.lines);
        scripted::Reset();
        EXPECT_EQ(Load(), 1);
        EXPECT_EQ(start_, c.start);
        EXPECT_EQ(size_, c.size);
        EXPECT_EQ(std::vector<uint8_t>(image_.Bytes().begin(), image_.Bytes().end()), expected);
    }
}

TEST_F(LoadMotTest, ChecksumFileOfAnotherDirectory) {
    TempDir other;
    OpenLines({Rec('1', 0x4000, 2, Bytes(32))});
    LoadOptions options{other.Path(), true, false, kMaxImageSize};
    SetUser("greta.holmfeld");
    LoadReport report;
    ASSERT_EQ(LoadMotFileWith(*file_, image_, start_, size_, options, &report), 1);
    EXPECT_TRUE(report.crcWritten);
    EXPECT_TRUE(imagetest::Exists(other.File("TQ8-CRC.INI")));
    EXPECT_FALSE(imagetest::Exists(Ini()));
    EXPECT_TRUE(scripted::Boxes().empty());
    EXPECT_EQ(report.key, "TQ8-PROG.MOT");
    EXPECT_TRUE(report.storedFound);
}

}  // namespace
