#include <gtest/gtest.h>

#include <string>

#include "support/codepage.h"

namespace {

TEST(Codepage, Cp1252ToUtf8) {
    EXPECT_EQ(Cp1252ToUtf8("Pr\xFC"
                           "fsumme"),
              "Pr\u00FC"
              "fsumme");
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(Cp1252ToUtf8("Windows\xA0"
                           "9x\xAE"),
              "Windows\u00A0"
              "9x\u00AE");
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\uFFFD") << "an undefined byte";
    EXPECT_EQ(Cp1252ToUtf8("plain\r\n"), "plain\r\n");
}

TEST(Codepage, RoundTripOfEveryDefinedByte) {
    for (int b = 1; b < 256; ++b) {
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
            continue;
        }
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << b;
    }
}

TEST(Codepage, Utf8WithoutCp1252FormBecomesQuestionMark) {
    EXPECT_EQ(Utf8ToCp1252("\u4E2D"), "?");
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?") << "a cut sequence";
    EXPECT_EQ(Utf8ToCp1252("\xFF"
                           "b"),
              "?b");
}

}  // namespace
