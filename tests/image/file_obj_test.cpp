#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/file_obj.h"
#include "platform/errors.h"
#include "support/utils.h"
#include "test_files.h"
#include "trace_capture.h"

using imagetest::FaultyFiles;
using imagetest::TempDir;

namespace {

int OpenForRead(FileObj& file, const std::string& path, uint32_t mode = 0) {
    return file.fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                      platform::kOpenExisting, platform::kFileAttributeNormal, mode);
}

std::vector<std::string> AllLines(FileObj& file, int size) {
    std::vector<std::string> lines;
    std::vector<char> buf(static_cast<size_t>(size));
    while (file.fgets(buf.data(), size) != nullptr) {
        lines.emplace_back(buf.data());
        EXPECT_LE(file.lBufStart, file.lPos);
        EXPECT_LE(file.lPos, file.lBufEnd);
    }
    return lines;
}

std::vector<std::string> LinesOf(const std::string& content, int size = 200) {
    TempDir dir;
    const std::string path = dir.File("lines.txt");
    imagetest::WriteFile(path, content);
    FileObj file;
    EXPECT_EQ(OpenForRead(file, path), 1);
    std::vector<std::string> lines = AllLines(file, size);
    EXPECT_EQ(file.feof(), 1);
    EXPECT_EQ(file.nLine, static_cast<int32_t>(lines.size()));
    return lines;
}

using Lines = std::vector<std::string>;

TEST(FileObjLines, EveryLineEndAndCut) {
    const std::string a199(199, 'a');
    const std::string b2047(2047, 'b');
    struct Case {
        const char* what;
        std::string content;
        int size;
        Lines lines;
    } cases[] = {
        {"CR LF", "S0\r\nS1\r\nS9\r\n", 200, {"S0", "S1", "S9"}},
        {"LF alone", "S0\nS1\nS9\n", 200, {"S0", "S1", "S9"}},
        {"CR alone", "S0\rS1\rS9\r", 200, {"S0", "S1", "S9"}},
        {"mixed", "a\r\nb\nc\rd", 200, {"a", "b", "c", "d"}},
        {"empty lines", "a\r\n\r\n\nb", 200, {"a", "", "", "b"}},
        {"last line without end", "first\r\nlast", 200, {"first", "last"}},
        {"Ctrl-Z without CR", "x\x1Ay", 200, {"x", "y"}},
        {"Ctrl-Z takes its LF along... unless the LF ends the line first",
         "x\x1A\ny",
         200,
         {"x\x1A", "y"}},
        {"Ctrl-Z before CR: the CR ends the line", "x\x1Ay\r\nz", 200, {"x\x1Ay", "z"}},
        {"long line in pieces",
         std::string(450, 'L') + "\r\n",
         200,
         {std::string(199, 'L'), std::string(199, 'L'), std::string(52, 'L')}},
        // The CR is the last byte the window holds; its LF must not make an empty line.
        {"CR at the window's end", a199 + "\r\nnext", 201, {a199, "next"}},
        // The CR is the last byte of the first 2048-byte buffer and its LF the first of
        // the next.
        {"CR LF across buffers", b2047 + "\r\nnext\r\n", 4096, {b2047, "next"}},
        {"Ctrl-Z at the window's end, LF after",
         std::string(9, 'z') + "\x1A\nq",
         11,
         {std::string(9, 'z'), "q"}},
        {"empty file", "", 200, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(LinesOf(c.content, c.size), c.lines);
    }
}

TEST(FileObjLines, ShortReadsGiveTheSameLines) {
    std::string content;
    for (int i = 0; i < 300; ++i) {
        content +=
            "S113" + std::to_string(1000 + i) + std::string(static_cast<size_t>(i % 37), 'F');
        content += i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r";
    }
    const Lines expected = LinesOf(content);
    ASSERT_EQ(expected.size(), 300U);
    for (uint32_t chunk : {1U, 7U, 2047U}) {
        SCOPED_TRACE(chunk);
        FaultyFiles faulty;
        faulty.Get().maxRead = chunk;
        EXPECT_EQ(LinesOf(content), expected);
    }
}

TEST(FileObjLines, LineScanReadsEachBufferOnce) {
    std::string content;
    while (content.size() < 20000) {
        content += "S1130000" + std::string(34, '0') + "\r\n";
    }
    FaultyFiles faulty;
    LinesOf(content);
    // One read per 2048 bytes, and the one that finds the end.
    EXPECT_LE(faulty.Get().reads, static_cast<int>(content.size() / 2048 + 3));
}

TEST(FileObjFaults, FailedReadEndsTheFile) {
    std::string content;
    for (int i = 0; i < 600; ++i) {
        content += "line " + std::to_string(i) + "\r\n";
    }
    const Lines intact = LinesOf(content);
    FaultyFiles faulty;
    faulty.Get().failReadAt = 1;  // the refill after the first buffer
    const Lines lines = LinesOf(content);
    // The line that runs into the failed read ends there; reading goes on behind it when
    // the next read succeeds, so the line shows up cut in two and nothing else changes.
    ASSERT_EQ(lines.size(), intact.size() + 1);
    size_t cut = 0;
    while (cut < intact.size() && lines[cut] == intact[cut]) {
        ++cut;
    }
    ASSERT_LT(cut, intact.size());
    EXPECT_EQ(lines[cut] + lines[cut + 1], intact[cut]);
    EXPECT_TRUE(std::equal(intact.begin() + static_cast<std::ptrdiff_t>(cut) + 1, intact.end(),
                           lines.begin() + static_cast<std::ptrdiff_t>(cut) + 2));
}

class FileObjTest : public ::testing::Test {
  protected:
    std::string Make(const std::string& name, const std::string& content) {
        const std::string path = dir_.File(name);
        imagetest::WriteFile(path, content);
        return path;
    }
    TempDir dir_;
};

TEST_F(FileObjTest, OpenFailuresKeepTheSystemError) {
    const std::string missing = dir_.File("missing.mot");
    const std::string tooLong = dir_.Path() + "/" + std::string(300, 'x');
    struct Case {
        const char* what;
        std::string path;
    } cases[] = {{"missing", missing}, {"directory", dir_.Path()}, {"too long", tooLong}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TraceCapture trace;
        FileObj file;
        EXPECT_EQ(OpenForRead(file, c.path), 0);
        const uint32_t code = platform::LastError();
        EXPECT_NE(code, 0U);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.fpos(), -1);
        char line[16];
        EXPECT_EQ(file.fgets(line, sizeof line), nullptr);
        EXPECT_EQ(file.feof(), 1);
        const std::string expected = "{cr}fopen \"" + c.path + "\" = " + GetSystemErrorText(code);
        EXPECT_TRUE(trace.Has(expected)) << expected;
    }
    FileObj file;
    EXPECT_EQ(OpenForRead(file, tooLong), 0);
    EXPECT_EQ(platform::LastError(), platform::PathTooLongError());
    FileObj other;
    EXPECT_EQ(OpenForRead(other, missing), 0);
    EXPECT_STREQ(other.szFileName, missing.c_str()) << "a failed open keeps the path";
}

TEST_F(FileObjTest, SecondOpenLosesTheFirstHandleUntilDestruction) {
    const std::string a = Make("a.txt", "first\r\n");
    const std::string b = Make("b.txt", "second\r\n");
    FaultyFiles faulty;
    {
        TraceLevels levels(3);
        TraceCapture trace;
        FileObj file;
        ASSERT_EQ(OpenForRead(file, a), 1);
        const int first = static_cast<int>(file.hFile);
        ASSERT_EQ(OpenForRead(file, b), 1);
        EXPECT_TRUE(trace.Has("{cr}fopen \"" + b + "\" : object is already used!"));
        EXPECT_TRUE(trace.Has("{cr} open file is \"" + a + "\""));
        EXPECT_TRUE(trace.Has("{cy} Congratulation! File-handle " + std::to_string(first) +
                              " is lost for this instance!"));
        char line[32];
        ASSERT_NE(file.fgets(line, sizeof line), nullptr);
        EXPECT_STREQ(line, "second");
        EXPECT_EQ(faulty.Get().closes, 0);
    }
    EXPECT_EQ(faulty.Get().closes, 2) << "the lost handle is closed with the object";
}

TEST_F(FileObjTest, SeekTellAndEnd) {
    const std::string content = "0123456789\r\nabcdef\r\n";
    FileObj file;
    ASSERT_EQ(OpenForRead(file, Make("s.txt", content)), 1);
    char line[64];
    file.fgets(line, sizeof line);
    file.fgets(line, sizeof line);
    EXPECT_EQ(file.nLine, 2);
    EXPECT_EQ(file.fseek(-1), 0);
    EXPECT_EQ(file.fpos(), static_cast<int32_t>(content.size())) << "negative seek changes nothing";
    EXPECT_EQ(file.feof(), 1);
    EXPECT_EQ(file.fseek(0), 1);
    EXPECT_EQ(file.nLine, 0);
    EXPECT_EQ(file.feof(), 0);
    EXPECT_EQ(file.fseek(3, 2), 1);  // three back from the end
    EXPECT_EQ(file.fpos(), static_cast<int32_t>(content.size()) - 3);
    EXPECT_EQ(file.fseek(-2, 1), 1);
    EXPECT_EQ(file.fpos(), static_cast<int32_t>(content.size()) - 5);
    EXPECT_EQ(file.fseek(-100, 1), 1) << "a negative result is ignored";
    EXPECT_EQ(file.fpos(), static_cast<int32_t>(content.size()) - 5);
    EXPECT_EQ(file.fsize(), content.size());
    EXPECT_EQ(file.fseek(5), 1);
    EXPECT_EQ(file.nLine, 0);
    char got[3] = {};
    EXPECT_EQ(file.fread(got, 2), 2);
    EXPECT_EQ(std::string(got, 2), "56");
}

TEST_F(FileObjTest, BufferInvariantUnderRandomReadsAndSeeks) {
    std::string content(9000, '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>((i * 131) & 0xFF);
    }
    FileObj file;
    ASSERT_EQ(OpenForRead(file, Make("r.bin", content)), 1);
    uint32_t state = 12345;
    auto next = [&]() { return state = state * 1103515245 + 12345; };
    std::vector<char> got(5000);
    for (int step = 0; step < 400; ++step) {
        if (next() % 3 == 0) {
            const int32_t to = static_cast<int32_t>((next() >> 8) % 9500);
            file.fseek(to);
        }
        const int32_t at = file.lPos;
        const int32_t want = static_cast<int32_t>((next() >> 8) % 4500);
        const int32_t n = file.fread(got.data(), want);
        const int32_t expectedN =
            std::max(0, std::min(want, static_cast<int32_t>(content.size()) - at));
        ASSERT_EQ(n, expectedN) << "at " << at;
        ASSERT_EQ(std::string(got.data(), static_cast<size_t>(n)),
                  content.substr(static_cast<size_t>(std::min<int32_t>(at, 9000)),
                                 static_cast<size_t>(n)));
        ASSERT_LE(file.lBufStart, file.lPos);
        ASSERT_LE(file.lPos, file.lBufEnd);
        ASSERT_LE(file.lBufEnd - file.lBufStart, 2048);
    }
}

TEST_F(FileObjTest, ScrambledWriteAndUnscrambledRead) {
    const std::string path = dir_.File("scrambled.bin");
    const std::string plain = "Kovra TQ VIII firmware text\r\nsecond line\r\n";
    {
        FileObj out;
        ASSERT_EQ(out.fopen(path.c_str(), kOfCreate | kOfWrite, kFileModeScrambleWrite,
                            platform::kFileAttributeNormal),
                  1);
        EXPECT_EQ(out.fputs(plain.c_str()), static_cast<int32_t>(plain.size()));
        EXPECT_EQ(out.fpos(), static_cast<int32_t>(plain.size()));
    }
    std::string raw = imagetest::ReadFile(path);
    ASSERT_EQ(raw.size(), plain.size());
    EXPECT_NE(raw, plain);
    XorBuffer(raw.data(), kFileScrambleKey, raw.size());
    EXPECT_EQ(raw, plain);

    FileObj in;
    ASSERT_EQ(OpenForRead(in, path, kFileModeUnscrambleRead), 1);
    EXPECT_EQ(AllLines(in, 200), (Lines{"Kovra TQ VIII firmware text", "second line"}));
}

TEST_F(FileObjTest, WriteRefreshesTheBufferAndLaterReads) {
    std::string content(5000, '.');
    const std::string path = Make("w.bin", content);
    FileObj file;
    ASSERT_EQ(file.fopen(path.c_str(), kOfReadWrite | kOfShareExclusive, 0,
                         platform::kFileAttributeNormal),
              1);
    ASSERT_EQ(file.fseek(100), 1);
    EXPECT_EQ(file.fwrite("XYZ", 3), 3);
    EXPECT_EQ(file.fpos(), 103);
    ASSERT_EQ(file.fseek(98), 1);
    char got[6] = {};
    EXPECT_EQ(file.fread(got, 6), 6);
    EXPECT_EQ(std::string(got, 6), "..XYZ.") << "the buffer holds the written bytes";
    // A later refill continues behind the buffer, not behind the write.
    std::vector<char> rest(5000);
    EXPECT_EQ(file.fread(rest.data(), 5000), 5000 - 104);
    content.replace(100, 3, "XYZ");
    EXPECT_EQ(std::string(rest.data(), 5000 - 104), content.substr(104));
    file.fclose();
    EXPECT_EQ(imagetest::ReadFile(path), content);
}

TEST_F(FileObjTest, FailedWriteAndCloseAreReported) {
    const std::string path = Make("f.bin", "0123456789");
    FaultyFiles faulty;
    TraceCapture trace;
    FileObj file;
    ASSERT_EQ(file.fopen(path.c_str(), kOfReadWrite, 0, platform::kFileAttributeNormal), 1);
    faulty.Get().failWrite = true;
    faulty.Get().writeLimit = 4;
    faulty.Get().failWriteCode = platform::PathTooLongError();
    EXPECT_EQ(file.fwrite("abcdefgh", 8), 4);
    EXPECT_EQ(platform::LastError(), platform::PathTooLongError());
    EXPECT_TRUE(trace.Has("{cr}WriteFile (\"" + path +
                          "\" = " + GetSystemErrorText(platform::PathTooLongError())));
    EXPECT_EQ(file.fpos(), 0) << "a failed write leaves the position";

    faulty.Get().failClose = true;
    EXPECT_EQ(file.fclose(), 0);
    EXPECT_TRUE(file.IsOpen()) << "a failed close leaves the object as it was";
    EXPECT_STREQ(file.szFileName, path.c_str());
    EXPECT_EQ(trace.CountPrefix("{cr}fclose (\"" + path + "\"): "), 1U);
    faulty.Get().failClose = false;
    EXPECT_EQ(file.fclose(), 1);
    EXPECT_EQ(file.fclose(), 0) << "nothing left to close";
    EXPECT_STREQ(file.szFileName, "");
}

TEST_F(FileObjTest, PatternSearch) {
    const std::string path = Make("p.txt", "S0 header\r\nSI 0708\r\nSV 0\r\nS1 data\r\n");
    struct Case {
        const char* pattern;
        int set;
        const char* found;
    } cases[] = {
        {"SV*", 1, "SV 0"},        {"S? 07", 1, "SI 0708"}, {"*", 0, "S0 header"},
        {nullptr, 0, "S0 header"}, {"S9", 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern != nullptr ? c.pattern : "none");
        FileObj file;
        ASSERT_EQ(OpenForRead(file, path), 1);
        EXPECT_EQ(file.setpattern(c.pattern), c.set);
        char line[64];
        const int found = file.findline(line, sizeof line);
        EXPECT_EQ(found, c.found != nullptr ? 1 : 0);
        if (c.found != nullptr) {
            EXPECT_STREQ(line, c.found);
        }
    }

    const std::string records = Make("r.bin", std::string("AB\0\1CD\0\2CD\0\3", 12));
    FileObj file;
    ASSERT_EQ(OpenForRead(file, records), 1);
    EXPECT_EQ(file.setpattern("CD??", 4), 1);
    char record[4];
    EXPECT_EQ(file.findrecord(record, 3), 0) << "destination smaller than a record";
    EXPECT_EQ(file.findrecord(record, sizeof record), 4);
    EXPECT_EQ(record[3], 2);
    EXPECT_EQ(file.findrecord(record, sizeof record), 4);
    EXPECT_EQ(record[3], 3);
    EXPECT_EQ(file.findrecord(record, sizeof record), 0);
}

// Captures what the flag form hands to the system.
struct OpenArgs {
    uint32_t access, share, disposition;
};
OpenArgs gOpenArgs;
platform::FileHandle CaptureOpen(const char*, uint32_t access, uint32_t share, uint32_t disposition,
                                 uint32_t) {
    gOpenArgs = {access, share, disposition};
    return platform::kInvalidFile;
}

TEST(FileObjFlags, FlagFormMapsToTheSystemArguments) {
    using platform::kCreateAlways;
    using platform::kFileShareRead;
    using platform::kFileShareWrite;
    using platform::kGenericRead;
    using platform::kGenericWrite;
    using platform::kOpenExisting;
    struct Case {
        uint32_t flags;
        OpenArgs expected;
    } cases[] = {
        {kOfRead, {kGenericRead, kFileShareRead, kOpenExisting}},
        {kOfWrite, {kGenericWrite, kFileShareRead, kCreateAlways}},
        {kOfReadWrite | kOfShareExclusive, {kGenericRead | kGenericWrite, 0, kOpenExisting}},
        {kOfRead | kOfShareDenyWrite, {kGenericRead, kFileShareRead, kOpenExisting}},
        {kOfRead | kOfShareDenyRead, {kGenericRead, kFileShareWrite, kOpenExisting}},
        {kOfRead | kOfShareDenyNone,
         {kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting}},
        {kOfRead | 0x50, {kGenericRead, kFileShareRead, kOpenExisting}},
        {kOfCreate, {kGenericRead | kGenericWrite, kFileShareRead, kCreateAlways}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        platform::CurrentFileCalls().open = CaptureOpen;
        FileObj file;
        EXPECT_EQ(file.fopen("any", c.flags, 0, platform::kFileAttributeNormal), 0);
        platform::RestoreFileCalls();
        EXPECT_EQ(gOpenArgs.access, c.expected.access);
        EXPECT_EQ(gOpenArgs.share, c.expected.share);
        EXPECT_EQ(gOpenArgs.disposition, c.expected.disposition);
    }
}

}  // namespace
