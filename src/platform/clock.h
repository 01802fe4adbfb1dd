#pragma once
// Millisecond clock and sleeping.

#include <cstdint>

namespace platform {

// Milliseconds of a monotonic clock, wrapping modulo 2^32.
uint32_t MonotonicMs();

void SleepMs(uint32_t ms);

// Gives up the rest of the time slice (a sleep of 0 ms).
void YieldTimeSlice();

}  // namespace platform
