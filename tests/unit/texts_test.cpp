#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/process.h"
#include "platform/string_resources.h"
#include "support/settings.h"

namespace {

std::string Resource(unsigned id) {
    char buf[2048];
    platform::LoadStringResource(id, buf, sizeof buf);
    return buf;
}

class TextsTest : public ::testing::Test {
  protected:
    void TearDown() override { nLanguageOffset = 0; }
};

TEST_F(TextsTest, EveryEnglishTextHasItsGermanTwin) {
    int english = 0;
    for (unsigned id = 1; id < 30000; ++id) {
        if (id % 1000 >= 1000 || (id / 1000) % 2 == 1) {
            continue;  // German ids are the English ones + 1000
        }
        if (!Resource(id).empty()) {
            ++english;
            EXPECT_FALSE(Resource(id + 1000).empty()) << "no German text for " << id;
        }
    }
    EXPECT_GE(english, 50);
    for (unsigned id = 1001; id < 30000; ++id) {
        if ((id / 1000) % 2 == 1 && !Resource(id).empty()) {
            EXPECT_FALSE(Resource(id - 1000).empty()) << "German text " << id << " alone";
        }
    }
}

TEST_F(TextsTest, SampleTextsByteForByte) {
    EXPECT_EQ(Resource(2301), "Kovra TQ VIII Update-Utility");
    EXPECT_EQ(Resource(2420), "Seraching Interface");
    EXPECT_EQ(Resource(1150),
              "\xDC"
              "ber das Programm");
    EXPECT_EQ(Resource(2312), "Software-version file:            ");
    EXPECT_EQ(Resource(2312).size(), 34U);
    EXPECT_EQ(Resource(3312).size(), 30U);
    EXPECT_EQ(Resource(2311).size(), 27U);
    EXPECT_EQ(Resource(3311).size(), 26U);
    EXPECT_EQ(Resource(2315).size(), 30U);
    EXPECT_EQ(Resource(2316).size(), 37U);
    EXPECT_EQ(Resource(3315).size(), 26U);
    EXPECT_EQ(Resource(3316).size(), 32U);
    EXPECT_EQ(Resource(2314), "unknown or none available\r\n\r\n");
    EXPECT_EQ(Resource(2317), "Last update done:                 %d/%02d/%04d");
    EXPECT_EQ(Resource(3317), "Letztes Update ausgef\xFChrt:  %d.%02d.%04d");
    EXPECT_EQ(Resource(2400),
              "Flash utility for Kovra TQ8\r\nrunning on for Windows\xA0"
              "9x/ME\xAE and "
              "Windows\xA0NT/2000/XP\xAE");
    EXPECT_EQ(Resource(2306).substr(0, 60),
              "The protocol with Kovra TQ VIII could not be initializedSo c");
    EXPECT_EQ(Resource(3423),
              "Die TQ VIII konnte nicht gefunden werden!\r\nSie muss f\xFCr den Download im "
              "Bootloader - Modus stehen.\r\n\r\nUm in diesen Modus zu kommen,\r\n- stecken Sie "
              "bitte das Stromkabel der Maschine aus.\r\n- warten Sie, bis die Anzeige der TQ "
              "VIII leer ist.\r\n- Dr\xFC"
              "cken Sie dann die Neustart-Taste und schalten stecken "
              "Sie das Kabel wieder an, w\xE4hrend Sie die Neustart-Taste gedr\xFC"
              "ckt "
              "halten.\r\n- Auf dem Display sollte 'TQ VIII BOOTLOADER ...' erscheinen.\r\n\r\n"
              "Versuchen Sie danach den Download nochmals.");
    EXPECT_EQ(Resource(2460),
              "The loaded data had been verified with a checksum. This verification "
              "failed!\r\nSo your data files seem to be corrupt.\r\n\r\nPlease try to get other "
              "files or ask your support for help.");
    EXPECT_EQ(Resource(3463), "%s: CRC geschrieben");
    EXPECT_EQ(Resource(3333), "Programmspeicher l\xF6schen");
    EXPECT_EQ(Resource(2200), "English.Hlp");
    EXPECT_EQ(Resource(3200), "German.Hlp");
}

TEST_F(TextsTest, LoadTextFollowsLanguage) {
    nLanguageOffset = 0;
    EXPECT_STREQ(LoadText(2301), "Kovra TQ VIII Update-Utility");
    EXPECT_STREQ(LoadText(2), "Cancel");
    nLanguageOffset = 1000;
    EXPECT_STREQ(LoadText(2), "Abbruch");
    EXPECT_STREQ(LoadText(2410), "Schnittstellenauswahl");
    EXPECT_STREQ(LoadText(29999), "");
}

TEST_F(TextsTest, IdsFrom30000AreLanguageNeutral) {
    // No text stands at 30000 or at 31000: both languages read 30000 itself.
    nLanguageOffset = 1000;
    EXPECT_STREQ(LoadText(30000), "");
    nLanguageOffset = 0;
    EXPECT_STREQ(LoadText(30000), "");
    EXPECT_EQ(Resource(31000), "");
}

TEST_F(TextsTest, LoadTextRingOfFour) {
    const char* first = LoadText(1);
    const char* second = LoadText(2);
    const char* third = LoadText(9);
    const char* fourth = LoadText(110);
    const char* fifth = LoadText(120);
    EXPECT_EQ(first, fifth) << "the fifth call reuses the first buffer";
    EXPECT_STREQ(first, "Download software");
    EXPECT_STREQ(second, "Cancel");
    EXPECT_STREQ(third, "Help");
    EXPECT_STREQ(fourth, "Quit program");
}

TEST_F(TextsTest, FormatTextRingAndCut) {
    const char* a = FormatText("%s: CRC written", "TQ8-PROG.MOT");
    const char* b = FormatText("%d", 42);
    EXPECT_STREQ(a, "TQ8-PROG.MOT: CRC written");
    EXPECT_STREQ(b, "42");
    const std::string longArg(2000, 'z');
    const char* cut = FormatText("%s", longArg.c_str());
    EXPECT_EQ(std::strlen(cut), 511U);
    // Results may be passed into one another.
    const char* nested = FormatText(LoadText(2421), 3);
    EXPECT_STREQ(nested, "Kovra TQ VIII found at COM3");
}

TEST_F(TextsTest, LanguageFromLocale) {
    EXPECT_EQ(LanguageOffsetForLcid(0x0407), 1000);  // German
    EXPECT_EQ(LanguageOffsetForLcid(0x0C07), 1000);  // Austrian German
    EXPECT_EQ(LanguageOffsetForLcid(0x0807), 1000);  // Swiss German
    EXPECT_EQ(LanguageOffsetForLcid(0x040C), 0);     // French
    EXPECT_EQ(LanguageOffsetForLcid(0x0409), 0);
#ifndef _WIN32
    const std::string saved = platform::Environment("LANG");
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", "de_AT.UTF-8", 1);
    EXPECT_EQ(platform::UserDefaultLcid(), 0x0C07U);
    EXPECT_EQ(LanguageOffsetForLcid(platform::UserDefaultLcid()), 1000);
    ::setenv("LANG", "fr_FR.UTF-8", 1);
    EXPECT_EQ(LanguageOffsetForLcid(platform::UserDefaultLcid()), 0);
    ::setenv("LC_ALL", "de_CH.UTF-8", 1);
    EXPECT_EQ(platform::UserDefaultLcid(), 0x0807U) << "LC_ALL comes before LANG";
    ::unsetenv("LC_ALL");
    ::setenv("LANG", "C", 1);
    EXPECT_EQ(LanguageOffsetForLcid(platform::UserDefaultLcid()), 0);
    if (saved.empty()) {
        ::unsetenv("LANG");
    } else {
        ::setenv("LANG", saved.c_str(), 1);
    }
#endif
}

}  // namespace
