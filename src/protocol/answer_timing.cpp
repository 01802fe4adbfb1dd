#include "protocol/answer_timing.h"

#include <algorithm>

namespace {

constexpr uint64_t kBitsPerByte = 10;  // start, 8 data, stop
constexpr uint32_t kBlockExchangeBytes = 32 + 1;

uint64_t WireUs(uint32_t bytes, uint32_t rate) {
    return rate == 0 ? 0 : bytes * kBitsPerByte * 1000000U / rate;
}

}  // namespace

void AnswerTiming::Record(uint32_t bytes, uint32_t rate, uint64_t tookUs) {
    const uint64_t wire = WireUs(bytes, rate);
    lateness_.push_back(tookUs > wire ? tookUs - wire : 0);
}

uint64_t AnswerTiming::LatenessUs() const {
    if (lateness_.empty()) {
        return 0;
    }
    std::vector<uint64_t> sorted = lateness_;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
}

double DownloadSlowdown(uint64_t latenessUs, uint32_t rate) {
    const uint64_t block = WireUs(kBlockExchangeBytes, rate);
    return block == 0 ? 0.0 : static_cast<double>(latenessUs) / static_cast<double>(block);
}
