#include <gtest/gtest.h>

#include <string>

#include "platform/profile.h"
#include "platform/profile_number.h"
#include "test_files.h"

using imagetest::TempDir;

namespace {

TEST(ProfileNumber, LeadingNumberWrapsTo32Bits) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"-123", -123},
        {"123", 123},
        {"  42", 42},
        {"+7", 7},
        {"12abc", 12},
        {"abc", 0},
        {"-", 0},
        {"0x1F", 31},
        {"-2147483648", INT32_MIN},
        {"4294967295", -1},
        {"-1807560142", -1807560142},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ParseProfileNumber(c.text), c.value) << c.text;
    }
}

TEST(Profile, ReadsAsTheWindowsProfileFunctions) {
    TempDir dir;
    const std::string path = dir.File("TQ8-CRC.INI");
    imagetest::WriteFile(
        path,
        "; checksums\r\n[CRC]\r\nTQ8-PROG.MOT=-123\r\nTQ8-TEXT.MOT = 1990996282\r\n"
        "EMPTY=\r\nWORD=abc\r\n[Other]\r\nX=5\r\n");
    struct Case {
        const char* section;
        const char* key;
        int32_t value;
    } cases[] = {
        {"CRC", "TQ8-PROG.MOT", -123},
        {"crc", "tq8-text.mot", 1990996282},
        {"CRC", "MISSING", 77},
        {"Missing", "TQ8-PROG.MOT", 77},
        {"CRC", "EMPTY", 77},
        {"CRC", "WORD", 0},
        {"Other", "X", 5},
        {"CRC", "X", 77},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ProfileGetInt(c.section, c.key, 77, path.c_str()), c.value)
            << c.section << "/" << c.key;
    }
    EXPECT_EQ(platform::ProfileGetInt("CRC", "TQ8-PROG.MOT", 77, dir.File("none.ini").c_str()), 77);
}

TEST(Profile, WritesCreateReplaceAndRemove) {
    TempDir dir;
    const std::string path = dir.File("sub.ini");
    ASSERT_TRUE(platform::ProfileWriteString("CRC", "A.MOT", "-5", path.c_str()));
    ASSERT_TRUE(platform::ProfileWriteString("CRC", "B.MOT", "6", path.c_str()));
    ASSERT_TRUE(platform::ProfileWriteString("crc", "a.mot", "7", path.c_str()));
    EXPECT_EQ(platform::ProfileGetInt("CRC", "A.MOT", 0, path.c_str()), 7);
    EXPECT_EQ(platform::ProfileGetInt("CRC", "B.MOT", 0, path.c_str()), 6);
    ASSERT_TRUE(platform::ProfileWriteString("CRC", "B.MOT", nullptr, path.c_str()));
    EXPECT_EQ(platform::ProfileGetInt("CRC", "B.MOT", 9, path.c_str()), 9);
    const std::string text = imagetest::ReadFile(path);
    EXPECT_EQ(text.find("[CRC]"), 0U) << text;
    EXPECT_EQ(imagetest::DirectoryEntries(dir.Path()).size(), 1U) << "no temporary file left";
}

}  // namespace
