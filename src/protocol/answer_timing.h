#pragma once
// How late the machine acknowledges the blocks of a download beyond the line's own time,
// and what that lateness costs the download. A device server that holds back what the
// line sends, or an adapter that batches it, shows here. Only the download's own
// exchanges tell: the commands before it run at another rate, and a server's hold-back
// depends on the rate.

#include <cstddef>
#include <cstdint>
#include <vector>

// The first KiB of the download: long enough for a steady median, short enough to warn
// within a second.
inline constexpr size_t kBlocksJudged = 32;

// Above this share of the download's time the operator is warned.
inline constexpr double kSlowdownWarned = 0.10;

struct AnswerVerdict {
    uint64_t latenessUs = 0;  // the median lateness of one block's acknowledgement
    double slowdown = 0.0;    // the share by which that lengthens the download
};

class AnswerTiming {
  public:
    // One 32-byte block and its acknowledgement at the rate, from the block's first byte
    // written to the answer's arrival, in microseconds.
    void RecordBlock(uint32_t rate, uint64_t tookUs);
    // Once per connection, as soon as kBlocksJudged blocks are recorded: true, with what
    // they tell. The blocks of several downloads count together.
    bool TakeVerdict(AnswerVerdict& verdict);

  private:
    std::vector<uint64_t> lateness_;
    uint64_t blockWireUs_ = 0;
    bool judged_ = false;
};
