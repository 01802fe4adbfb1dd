#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<InterruptHandler> gHandler{nullptr};
std::atomic<int> gCount{0};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) {
        return FALSE;  // closing the console or logging off keeps the default
    }
    InterruptHandler handler = gHandler.load();
    if (handler == nullptr) {
        return FALSE;
    }
    const int count = gCount.fetch_add(1) + 1;
    RequestStop();
    handler(count);
    return TRUE;
}

bool gInstalled = false;

}  // namespace

bool SetInterruptHandler(InterruptHandler handler) {
    gHandler.store(handler);
    gCount.store(0);
    if (handler != nullptr && !gInstalled) {
        gInstalled = ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
        return gInstalled;
    }
    if (handler == nullptr && gInstalled) {
        gInstalled = ::SetConsoleCtrlHandler(OnConsoleControl, FALSE) == 0;
        return !gInstalled;
    }
    return true;
}

int InterruptCount() {
    return gCount.load();
}

void IgnoreBrokenPipes() {}

void ExitNow(int code) {
    ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace platform
