#include <atomic>

#include "platform/interrupt.h"

namespace platform {
namespace {

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void RequestStop() {
    gStop.store(true);
}

bool StopRequested() {
    return gStop.load();
}

void ClearStop() {
    gStop.store(false);
}

}  // namespace platform
