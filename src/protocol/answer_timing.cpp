#include "protocol/answer_timing.h"

#include <algorithm>

namespace {

constexpr uint64_t kBitsPerByte = 10;  // start, 8 data, stop
constexpr uint32_t kBlockExchangeBytes = 32 + 1;

uint64_t WireUs(uint32_t bytes, uint32_t rate) {
    return rate == 0 ? 0 : bytes * kBitsPerByte * 1000000U / rate;
}

}  // namespace

void AnswerTiming::RecordBlock(uint32_t rate, uint64_t tookUs) {
    if (judged_ || lateness_.size() >= kBlocksJudged) {
        return;
    }
    blockWireUs_ = WireUs(kBlockExchangeBytes, rate);
    lateness_.push_back(tookUs > blockWireUs_ ? tookUs - blockWireUs_ : 0);
}

bool AnswerTiming::TakeVerdict(AnswerVerdict& verdict) {
    if (judged_ || lateness_.size() < kBlocksJudged || blockWireUs_ == 0) {
        return false;
    }
    judged_ = true;
    // The median: a block that waited for the scheduler now and then does not count.
    const auto middle = lateness_.begin() + static_cast<std::ptrdiff_t>(lateness_.size() / 2);
    std::nth_element(lateness_.begin(), middle, lateness_.end());
    verdict.latenessUs = *middle;
    verdict.slowdown = static_cast<double>(*middle) / static_cast<double>(blockWireUs_);
    lateness_.clear();
    return true;
}
