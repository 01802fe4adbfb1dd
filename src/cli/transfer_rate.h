#pragma once
// Rate and time left of a transfer, from what it moved since a start point; the unit of
// the counts (bytes, KiB) is the caller's.

#include <cstdint>

struct TransferRate {
    double perSecond = 0.0;    // units per second
    double secondsLeft = 0.0;  // for the rest at that rate
};

// done units went through in elapsedMs, and left remain. Callers decide how long a span
// is worth an estimate; an empty span gives a rate of 0 and no time.
inline TransferRate EstimateTransferRate(uint64_t done, uint32_t elapsedMs, uint64_t left) {
    TransferRate rate;
    if (done == 0 || elapsedMs == 0) {
        return rate;
    }
    rate.perSecond = static_cast<double>(done) * 1000.0 / elapsedMs;
    rate.secondsLeft = static_cast<double>(left) / rate.perSecond;
    return rate;
}
