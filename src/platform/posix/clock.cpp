#include "platform/clock.h"

#include <sched.h>

#include <cerrno>
#include <ctime>

namespace platform {

uint32_t MonotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000U + static_cast<uint64_t>(ts.tv_nsec) / 1000000U;
    return static_cast<uint32_t>(ms);
}

void SleepMs(uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void YieldTimeSlice() {
    ::sched_yield();
}

}  // namespace platform
