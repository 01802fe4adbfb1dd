#include "platform/serial_calls.h"

#include <atomic>

namespace platform {
namespace {

// Shared by both targets: only the native table differs between them.
std::atomic<const SerialCalls*>& Installed() {
    static std::atomic<const SerialCalls*> installed{&NativeSerialCalls()};
    return installed;
}

}  // namespace

const SerialCalls& CurrentSerialCalls() {
    return *Installed().load(std::memory_order_acquire);
}

void SetSerialCalls(const SerialCalls& calls) {
    Installed().store(&calls, std::memory_order_release);
}

void RestoreSerialCalls() {
    Installed().store(&NativeSerialCalls(), std::memory_order_release);
}

}  // namespace platform
