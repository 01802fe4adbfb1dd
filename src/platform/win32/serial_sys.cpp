#include "platform/win32/serial_sys.h"

#include <atomic>

namespace platform::serial_sys {
namespace {

const Table kDefaults{::CreateFileA,         ::CloseHandle,     ::SetupComm,
                      ::BuildCommDCBA,       ::GetCommState,    ::SetCommState,
                      ::GetCommTimeouts,     ::SetCommTimeouts, ::GetCommMask,
                      ::SetCommMask,         ::WaitCommEvent,   ::ClearCommError,
                      ::PurgeComm,           ::ReadFile,        ::WriteFile,
                      ::GetOverlappedResult, ::CancelIo,        ::MsgWaitForMultipleObjectsEx};

std::atomic<const Table*> gCurrent{&kDefaults};

}  // namespace

const Table& Current() {
    return *gCurrent.load(std::memory_order_acquire);
}
const Table& Defaults() {
    return kDefaults;
}
void Install(const Table* table) {
    gCurrent.store(table, std::memory_order_release);
}
void Restore() {
    gCurrent.store(&kDefaults, std::memory_order_release);
}

}  // namespace platform::serial_sys
