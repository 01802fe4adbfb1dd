#include "platform/clock.h"

#include <windows.h>

namespace platform {

uint32_t MonotonicMs() {
    return static_cast<uint32_t>(::GetTickCount64());
}

void SleepMs(uint32_t ms) {
    ::Sleep(ms);
}

void YieldTimeSlice() {
    ::Sleep(0);
}

}  // namespace platform
