// No library beside the program: the program runs on without it, silently.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "log_file.h"
#include "platform/dynlib.h"
#include "scripted_frontend.h"
#include "support/trace.h"
#include "trace_capture.h"

namespace {

class NoLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        fallbacks_ = FallbackSlots();
        scripted::Reset();
    }
    void TearDown() override { FreeDebugLibrary(); }

    TestLog log_;
    debug_slots::Slots fallbacks_{};
};

TEST_F(NoLibrary, NothingIsBoundNothingIsShownTracesReturnZero) {
    EXPECT_FALSE(LoadDebugLibrary());
    EXPECT_FALSE(LoadDebugLibrary());
    EXPECT_TRUE(scripted::Boxes().empty());
    EXPECT_EQ(BoundSlots(fallbacks_), std::vector<bool>(6, false));
    TraceLevels levels(5);
    EXPECT_EQ(TraceFile(2, "{cr}fopen failed"), 0);
    EXPECT_EQ(TraceProtokoll(2, "{cr}WaitForData: TimeOut"), 0);
    EXPECT_EQ(TraceSRecord(2, "{cr}*SRecordToBinary"), 0);
    EXPECT_EQ(TraceRS232(5, "{cc}GetByte = %d", 6), 0);
    EXPECT_EQ(DebugOutput("{cc}direct"), 0);
    const uint8_t byte = 0x06;
    HexDumpRS232(5, &byte, 1, "{cc}RX: ");
    HexDumpProtokoll(5, &byte, 1, "{cc}DL: ", 0x4000);
    FreeDebugLibrary();
    EXPECT_FALSE(std::filesystem::exists(log_.Path()));
}

TEST_F(NoLibrary, ALibraryInTheCurrentDirectoryIsNotTaken) {
    // A library planted in the working directory would run inside the program.
    const std::filesystem::path planted = VLDEBUG_PLANTED_DIR;
    ASSERT_TRUE(std::filesystem::exists(planted / platform::LibraryFileName("VLdebug.dll")));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(planted);
    const bool bound = LoadDebugLibrary();
    std::filesystem::current_path(before);
    EXPECT_FALSE(bound);
    EXPECT_EQ(BoundSlots(fallbacks_), std::vector<bool>(6, false));
}

}  // namespace
