// The verdict on late acknowledgements: from the download's own blocks, once.

#include <gtest/gtest.h>

#include "protocol/answer_timing.h"

namespace {

constexpr uint64_t kBlockWireUs = 33 * 10 * 1000000 / 38400;  // 8593 us at 38400 baud

TEST(AnswerTiming, TheFirstKilobyteDecidesOnceAndStrayWaitsDoNotCount) {
    AnswerTiming timing;
    AnswerVerdict verdict;
    for (size_t block = 0; block + 1 < kBlocksJudged; ++block) {
        // Every fourth block waited for the scheduler as well.
        timing.RecordBlock(38400, kBlockWireUs + (block % 4 == 0 ? 20000 : 3000));
    }
    EXPECT_FALSE(timing.TakeVerdict(verdict));
    timing.RecordBlock(38400, kBlockWireUs + 3000);
    ASSERT_TRUE(timing.TakeVerdict(verdict));
    EXPECT_EQ(verdict.latenessUs, 3000u);
    EXPECT_NEAR(verdict.slowdown, 3000.0 / kBlockWireUs, 1e-9);
    EXPECT_GT(verdict.slowdown, kSlowdownWarned);
    timing.RecordBlock(38400, kBlockWireUs + 3000);
    EXPECT_FALSE(timing.TakeVerdict(verdict));

    // Answers as quick as the wire itself: no lateness, whatever the clock's rounding.
    AnswerTiming prompt;
    for (size_t block = 0; block < kBlocksJudged; ++block) {
        prompt.RecordBlock(38400, kBlockWireUs - 5);
    }
    ASSERT_TRUE(prompt.TakeVerdict(verdict));
    EXPECT_EQ(verdict.latenessUs, 0u);
    EXPECT_LE(verdict.slowdown, kSlowdownWarned);
}

}  // namespace
