// The front-end functions of the Win32 program: real message boxes and the thread's
// window message queue.

#include <windows.h>

#include "app/modal_owner.h"
#include "support/frontend.h"

int FrontEndMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned type) {
    const KeepOwnerDisabled keep(static_cast<HWND>(owner));
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

unsigned FrontEndDispatchMessages(unsigned limit) {
    unsigned count = 0;
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the message loop that owns it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
        ++count;
        if (count > limit) {
            break;
        }
    }
    return count;
}

bool FrontEndMessagesPending() {
    return ::GetQueueStatus(QS_ALLINPUT) >> 16 != 0;
}

void FrontEndPostMessage(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    ::PostMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                   static_cast<LPARAM>(lParam));
}

void FrontEndNotice(const char*) {}

int FrontEndWakeDescriptor() {
    return -1;
}
