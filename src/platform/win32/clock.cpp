#include "platform/clock.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

namespace platform {
namespace {

// The multimedia timer ticks in 1 ms steps only while a 1 ms period is requested;
// otherwise it follows the scheduler's 10-16 ms tick, and every time limit and elapsed
// time would be off by that much. The request lasts from start-up to exit.
struct TimerPeriod {
    TimerPeriod() { ::timeBeginPeriod(1); }
    ~TimerPeriod() { ::timeEndPeriod(1); }
    TimerPeriod(const TimerPeriod&) = delete;
    TimerPeriod& operator=(const TimerPeriod&) = delete;
};
const TimerPeriod gTimerPeriod;

}  // namespace

uint32_t MonotonicMs() {
    return static_cast<uint32_t>(::timeGetTime());
}

void SleepMs(uint32_t ms) {
    ::Sleep(ms);
}

void YieldTimeSlice() {
    ::Sleep(0);
}

}  // namespace platform
