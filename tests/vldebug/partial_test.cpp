// A library that lacks _VL_DebugHexDumpStartAddress: what it has is bound, the missing
// entry point keeps its fallback, and nothing breaks when the program calls it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_file.h"
#include "scripted_frontend.h"
#include "support/trace.h"
#include "trace_capture.h"

namespace {

const std::string kSource = VLDEBUG_TEST_SOURCE;

TEST(PartialLibrary, MissingEntryPointKeepsItsFallback) {
    TestLog log;
    const debug_slots::Slots fallbacks = FallbackSlots();
    scripted::Reset();
    ASSERT_TRUE(LoadDebugLibrary());
    EXPECT_EQ(BoundSlots(fallbacks), (std::vector<bool>{true, true, true, true, false, true}));
    EXPECT_TRUE(scripted::Boxes().empty());

    TraceLevels levels(5);
    const uint8_t bytes[] = {0x11, 0x00, 0x07};
    HexDumpProtokoll(5, bytes, sizeof bytes, "{cc}DL: ", 0x4000);  // dropped
    HexDumpRS232(5, bytes, sizeof bytes, "{cm}TX: ");
    EXPECT_EQ(TraceProtokoll(4, "{cb}RawDownload (%d)", 0), 1);
    const std::vector<std::string> expected = {
        "{cm}TX: 3 bytes",
        "0000  11 00 07                                          ...",
        kSource + "{cb}RawDownload (0)",
    };
    EXPECT_EQ(log.Lines(), expected);

    FreeDebugLibrary();
    EXPECT_EQ(BoundSlots(fallbacks), std::vector<bool>(6, false));
}

}  // namespace
