#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/settings_store.h"
#include "support/globals.h"
#include "support/settings.h"

namespace {

// Each test works under a key of its own, so runs never see each other's values. On
// POSIX the settings file also goes to a private folder.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        key_ = "SOFTWARE\\Ostrelwerk\\TQ8FlashTest\\" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
               std::to_string(platform::MonotonicMs());
#ifndef _WIN32
        char pattern[] = "/tmp/tq8settingsXXXXXX";
        dir_ = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        std::system(("rm -rf '" + dir_ + "'").c_str());
        ::unsetenv("XDG_CONFIG_HOME");
#endif
    }
    bool WriteRaw(const char* name, platform::ValueKind kind, std::vector<uint8_t> bytes) {
        return platform::SettingsWrite(platform::kCurrentUser, key_, name,
                                       {kind, std::move(bytes)});
    }
    std::string key_;
    std::string dir_;
};

TEST_F(SettingsTest, MissingKeyGivesDefaults) {
    EXPECT_FALSE(platform::SettingsOpenKey(platform::kCurrentUser, key_));
    EXPECT_EQ(RegReadDword(platform::kCurrentUser, key_.c_str(), "Interface", -1), -1);
    EXPECT_EQ(RegReadDword(platform::kCurrentUser, key_.c_str(), "DebugLevelRS232", 2), 2);
    char out[32];
    EXPECT_EQ(RegReadString(platform::kCurrentUser, key_.c_str(), "LastUpdateDirectory",
                            "C:\\Tools", out, sizeof out),
              0);
    EXPECT_STREQ(out, "C:\\Tools");
}

TEST_F(SettingsTest, DwordRoundTripIncludingNegative) {
    ASSERT_TRUE(RegWriteDword(platform::kCurrentUser, key_.c_str(), "Interface", -1));
    EXPECT_EQ(RegReadDword(platform::kCurrentUser, key_.c_str(), "Interface", 7), -1);
    ASSERT_TRUE(RegWriteDword(platform::kCurrentUser, key_.c_str(), "Interface", 3));
    EXPECT_EQ(RegReadDword(platform::kCurrentUser, key_.c_str(), "Interface", -1), 3);
    EXPECT_TRUE(platform::SettingsOpenKey(platform::kCurrentUser, key_));
}

TEST_F(SettingsTest, ValueSizesOtherThanFour) {
    // Shorter: read into a zeroed variable, so the missing high bytes are zero.
    ASSERT_TRUE(WriteRaw("Short", platform::ValueKind::Binary, {0x05, 0x01}));
    EXPECT_EQ(RegReadDword(platform::kCurrentUser, key_.c_str(), "Short", -1), 0x0105);
    ASSERT_TRUE(WriteRaw("Empty", platform::ValueKind::Binary, {}));
    EXPECT_EQ(RegReadDword(platform::kCurrentUser, key_.c_str(), "Empty", -1), 0);
    // Longer: counts as missing.
    ASSERT_TRUE(WriteRaw("Interface", platform::ValueKind::String, {'C', 'O', 'M', '3', '0', 0}));
    EXPECT_EQ(RegReadDword(platform::kCurrentUser, key_.c_str(), "Interface", -1), -1);
}

TEST_F(SettingsTest, StringFitsOrFallsBack) {
    ASSERT_TRUE(WriteRaw("LastUpdateDirectory", platform::ValueKind::String,
                         {'D', ':', '\\', 'T', 'Q', '8', 0}));
    char out[16];
    EXPECT_EQ(RegReadString(platform::kCurrentUser, key_.c_str(), "LastUpdateDirectory", "dflt",
                            out, sizeof out),
              7);
    EXPECT_STREQ(out, "D:\\TQ8");
    char tiny[4];
    EXPECT_EQ(RegReadString(platform::kCurrentUser, key_.c_str(), "LastUpdateDirectory", "xyz",
                            tiny, sizeof tiny),
              0)
        << "a value longer than the buffer is a failed query";
    EXPECT_STREQ(tiny, "xyz");
}

TEST_F(SettingsTest, StartupSettingsDefaultsWithoutProgramKey) {
#ifndef _WIN32
    // The program's own key lives in the private settings file, which is empty here.
    nInterface = 99;
    nDebugLevelRS232 = 5;
    ReadStartupSettings();
    EXPECT_EQ(nInterface, -1);
    EXPECT_EQ(nDebugLevelProtokoll, 2);
    EXPECT_EQ(nDebugLevelSRecord, 2);
    EXPECT_EQ(nDebugLevelRS232, 2);
    ASSERT_TRUE(RegWriteDword(platform::kCurrentUser, kProgramKey, "DebugLevelRS232", 5));
    ASSERT_TRUE(RegWriteDword(platform::kCurrentUser, kProgramKey, "Interface", 4));
    ReadStartupSettings();
    EXPECT_EQ(nDebugLevelRS232, 5);
    EXPECT_EQ(nInterface, 4);
    nDebugLevelRS232 = 2;
    nInterface = -1;
#else
    GTEST_SKIP() << "the registry of the test prefix is shared; covered natively";
#endif
}

}  // namespace
