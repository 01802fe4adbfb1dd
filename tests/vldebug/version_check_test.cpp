// The version check at binding, built once per library version: the folder this program
// runs from holds a library of VLDEBUG_EXPECTED_VERSION. Below 1.4.0.2 the binding warns
// (VLDEBUG_FOUND_TEXT is then the version as the warning shows it).

#include <gtest/gtest.h>

#include <string>

#include "log_file.h"
#include "platform/dynlib.h"
#include "scripted_frontend.h"
#include "support/frontend.h"
#include "support/trace.h"
#include "trace_capture.h"

namespace {

const std::string kSource = VLDEBUG_TEST_SOURCE;
constexpr uint32_t kExpectedVersion = VLDEBUG_EXPECTED_VERSION;
constexpr bool kWarns = kExpectedVersion < 0x01040002U;

class VersionCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        FreeDebugLibrary();
        scripted::Reset();
    }
    void TearDown() override { FreeDebugLibrary(); }

    TestLog log_;
};

TEST_F(VersionCheck, TheLibraryBesideTheProgramHasTheVersionItWasBuiltWith) {
    ModuleHandle library = platform::OpenLibrary("VLdebug.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(GetModuleFileVersion(library), kExpectedVersion);
    platform::CloseLibrary(library);
}

TEST_F(VersionCheck, WarnsOnceBelowTheRecommendedVersionAndBindsAnyway) {
    ASSERT_TRUE(LoadDebugLibrary());
    ASSERT_TRUE(LoadDebugLibrary());
    EXPECT_EQ(scripted::Boxes().size(), kWarns ? 1U : 0U);
    TraceLevels levels(2);
    EXPECT_EQ(TraceProtokoll(2, "{cr}after the check"), 1);
    EXPECT_EQ(log_.Lines(), std::vector<std::string>{kSource + "{cr}after the check"});
}

#ifdef VLDEBUG_FOUND_TEXT
TEST_F(VersionCheck, WarningNamesTheFoundAndTheRecommendedVersion) {
    ASSERT_TRUE(LoadDebugLibrary());
    const auto boxes = scripted::Boxes();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].type, kMbOk | kMbIconExclamation);
    EXPECT_EQ(boxes[0].text,
              "The file VLdebug.dll is obsolete (V" VLDEBUG_FOUND_TEXT
              ").\r\n\r\nRecommended version is 1.04.002.\r\nDebugging-functions may be "
              "limited.\r\nPlease use a later version of the library.");
    // The caption's field holds 63 characters; a long program name is cut, not overflowed.
    const std::string full = kSource + "Obsolete Library";
    EXPECT_EQ(boxes[0].caption, full.substr(0, 63));
    if (kSource.size() > 63) {
        EXPECT_EQ(boxes[0].caption, kSource.substr(0, 63));
    }
}
#endif

}  // namespace
