#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "scripted_frontend.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/utils.h"

namespace {

TEST(CopyString, BoundsAndCounts) {
    const std::string source(300, 'x');
    char dest[400];
    std::memset(dest, '#', sizeof dest);
    CopyString(dest, source.c_str(), 260);
    EXPECT_EQ(std::strlen(dest), 259U);
    EXPECT_EQ(dest[260], '#') << "wrote past the size";

    std::memset(dest, '#', sizeof dest);
    CopyString(dest, "a fairly long port name that goes on and on", 31, 31);
    EXPECT_STREQ(dest, "a fairly long port name that g");
    EXPECT_EQ(dest[31], '#');

    CopyString(dest, "abcdef", 10, 3);
    EXPECT_STREQ(dest, "ab");
    CopyString(dest, "abcdef", 10, 0);
    EXPECT_STREQ(dest, "");
    CopyString(dest, "short", 10);
    EXPECT_STREQ(dest, "short");
}

TEST(AppendString, NeverExceedsSize) {
    char dest[16] = "abc";
    AppendString(dest, "defghijklmnopqrstuvwxyz", sizeof dest);
    EXPECT_STREQ(dest, "abcdefghijklmno");

    char full[261];
    std::memset(full, 'y', 260);
    full[260] = '\0';
    AppendString(full, "more", 260);
    EXPECT_EQ(std::strlen(full), 260U) << "a full destination must stay unchanged";

    char small[8] = "ab";
    AppendString(small, "cd", sizeof small);
    EXPECT_STREQ(small, "abcd");
    for (size_t i = 4; i < sizeof small; ++i) {
        EXPECT_EQ(small[i], '\0') << "rest of the size is filled with terminators";
    }
}

TEST(CutAtChar, CutsAtFirstOccurrence) {
    char text[] = "\"C:\\Tools\\TQ8Flash.exe\" -x";
    char* cut = CutAtChar(text + 1, '"');
    ASSERT_NE(cut, nullptr);
    EXPECT_STREQ(text + 1, "C:\\Tools\\TQ8Flash.exe");
    char none[] = "nothing here";
    EXPECT_EQ(CutAtChar(none, '"'), nullptr);
    EXPECT_STREQ(none, "nothing here");
}

TEST(GetFileNamePart, TakesPartAfterLastSeparator) {
    EXPECT_STREQ(GetFileNamePart("C:\\Tools\\TQ8-PROG.MOT"), "TQ8-PROG.MOT");
    EXPECT_STREQ(GetFileNamePart("/opt/tq8/TQ8-TEXT.MOT"), "TQ8-TEXT.MOT");
    EXPECT_STREQ(GetFileNamePart("TQ8-PROG.MOT"), "TQ8-PROG.MOT");
    EXPECT_STREQ(GetFileNamePart("dir\\"), "");
}

TEST(MatchPattern, PrefixWildcards) {
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"TQ8-PROG.MOT", "TQ8-????.MOT", true},
        {"TQ8-PROG.MOT", "TQ8*", true},
        {"TQ8-PROG.MOT", nullptr, true},
        {"TQ8-PROG.MOT", "TQ8-PROG.MOTX", false},
        {"TQ8-PROG.MOTX", "TQ8-PROG.MOT", true},
        {"TQ8", "TQ8-", false},
        {"abc", "a?c", true},
        {"abc", "A?c", false},
        {"", "", true},
        {"", "?", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchPattern(c.text, c.pattern), c.match)
            << c.text << " ~ " << (c.pattern ? c.pattern : "(none)");
    }
}

uint32_t ReferenceCrc(const uint8_t* p, size_t n) {
    uint32_t r = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
        r ^= p[i];
        for (int k = 0; k < 8; ++k) {
            r = (r & 1) ? (r >> 1) ^ 0xEDB88320U : r >> 1;
        }
    }
    return ~r;
}

TEST(Crc32, CheckValuesAndChaining) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926U);
    EXPECT_EQ(Crc32("", 0), 0U);
    std::string data;
    for (int i = 0; i < 1000; ++i) {
        data += static_cast<char>(i * 7 + 3);
    }
    for (size_t len : {1U, 7U, 8U, 9U, 63U, 1000U}) {
        const auto* p = reinterpret_cast<const uint8_t*>(data.data());
        EXPECT_EQ(Crc32(p, len), ReferenceCrc(p, len)) << len;
        for (size_t split : {size_t{0}, len / 3, len}) {
            EXPECT_EQ(Crc32Update(Crc32Update(0, p, split), p + split, len - split),
                      ReferenceCrc(p, len));
        }
    }
}

TEST(XorBuffer, TwiceRestores) {
    uint8_t data[5] = {0x00, 0xFF, 0x5A, 0x12, 0x80};
    const uint8_t original[5] = {0x00, 0xFF, 0x5A, 0x12, 0x80};
    XorBuffer(data, 0xA5, sizeof data);
    EXPECT_EQ(data[0], 0xA5);
    EXPECT_EQ(data[1], 0x5A);
    XorBuffer(data, 0xA5, sizeof data);
    EXPECT_EQ(std::memcmp(data, original, sizeof data), 0);
}

TEST(GetSystemErrorText, TrimmedBoundedAndPerThread) {
    const char* text = GetSystemErrorText(2);  // "file not found" on both systems
    ASSERT_NE(text[0], '\0');
    const size_t n = std::strlen(text);
    EXPECT_LE(n, 254U);
    EXPECT_NE(text[n - 1], '\n');
    EXPECT_NE(text[n - 1], '\r');
    EXPECT_STREQ(GetSystemErrorText(0x7FFFFF0U), "") << "unknown codes have no text";

    const std::string mine = GetSystemErrorText(2);
    std::string other;
    std::thread([&] { other = GetSystemErrorText(5); }).join();
    EXPECT_EQ(std::string(text), mine) << "another thread's call must not garble this buffer";
    EXPECT_NE(other, mine);
}

TEST(ShowSystemError, BoxOnlyWhenTextExists) {
    scripted::Reset();
    hMainWnd = reinterpret_cast<WindowHandle>(0x1234);
    ShowSystemError("Kovra TQ8/ZEL 5000: COM3", 2);
    ShowSystemError("nothing", 0x7FFFFF0U);
    const auto boxes = scripted::Boxes();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].caption, "Kovra TQ8/ZEL 5000: COM3");
    EXPECT_EQ(boxes[0].owner, hMainWnd);
    EXPECT_EQ(boxes[0].type, kMbOk | kMbIconError);
    EXPECT_FALSE(boxes[0].text.empty());
    hMainWnd = nullptr;
}

TEST(PumpMessages, LimitOneHandlesAtMostTwo) {
    scripted::Reset();
    int ran = 0;
    for (int i = 0; i < 5; ++i) {
        scripted::QueueMessage([&] { ++ran; });
    }
    PumpMessages(1);
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(scripted::PendingMessages(), 3U);
    PumpMessages(1);
    PumpMessages(1);
    EXPECT_EQ(ran, 5);
    PumpMessages(1);  // empty queue: returns at once
    EXPECT_EQ(ran, 5);
}

TEST(ElapsedMs, CorrectAcrossTheWrap) {
    EXPECT_EQ(ElapsedMs(0xFFFFFF00U, 0x00000010U), 0x110U);
    EXPECT_EQ(ElapsedMs(100, 1300), 1200U);
    // Two readings in a row are close, even when a busy runner parks the thread between them.
    const uint32_t start = GetTimeMs();
    EXPECT_LT(ElapsedMs(start, GetTimeMs()), 5000U);
}

TEST(GetTimeMs, TicksInMillisecondSteps) {
    // A clock that moves in scheduler ticks (10-16 ms) would stretch every time limit and
    // every traced duration by up to a tick. Watch it for a while: the typical step must be
    // 1 or 2 ms. A tick clock shows an odd short step now and then (wine's does while the
    // prefix starts), so the median is judged, never the smallest step or the loop's time.
    uint32_t last = GetTimeMs();
    std::vector<uint32_t> steps;
    for (int i = 0; i < 100'000'000 && steps.size() < 60; ++i) {
        const uint32_t now = GetTimeMs();
        if (now != last) {
            steps.push_back(ElapsedMs(last, now));
            last = now;
        }
    }
    ASSERT_GE(steps.size(), 20U);
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    EXPECT_LE(steps[steps.size() / 2], 2U);
}

}  // namespace
