// The download's progress window: dialog 102, modeless and without a procedure of its
// own, kept above every other window while the machine is being written.

#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>

#include "app/app_ids.h"
#include "support/frontend.h"

namespace {

HWND Dialog(WindowHandle progress) {
    return static_cast<HWND>(progress);
}

// The bar's handle, kept in the dialog when it opens: the download sets the position once a
// block, and each look-up of the control would cost a round trip to the window system
// (under wine a server call, on the path from one block's acknowledgement to the next).
HWND Bar(WindowHandle progress) {
    return reinterpret_cast<HWND>(::GetWindowLongPtrA(Dialog(progress), DWLP_USER));
}

}  // namespace

WindowHandle FrontEndProgressOpen(WindowHandle owner, const char* caption) {
    HWND dialog = ::CreateDialogParamA(AppInstance(), MAKEINTRESOURCEA(kDlgProgress),
                                       static_cast<HWND>(owner), nullptr, 0);
    if (dialog == nullptr) {
        return nullptr;
    }
    ::SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOOWNERZORDER);
    ::SetWindowTextA(dialog, caption != nullptr ? caption : "");
    ::SetWindowLongPtrA(dialog, DWLP_USER,
                        reinterpret_cast<LONG_PTR>(::GetDlgItem(dialog, kIdProgressBar)));
    return dialog;
}

void FrontEndProgressText(WindowHandle progress, const char* text) {
    if (progress != nullptr) {
        ::SetDlgItemTextA(Dialog(progress), kIdProgressText, text != nullptr ? text : "");
    }
}

void FrontEndProgressRange(WindowHandle progress, uint32_t maximum) {
    if (progress != nullptr) {
        // The bar counts KiB in 16 bits: images up to 64 MiB.
        const WORD top = maximum > 0xFFFF ? WORD{0xFFFF} : static_cast<WORD>(maximum);
        ::SendMessageA(Bar(progress), PBM_SETRANGE, 0, MAKELPARAM(0, top));
    }
}

void FrontEndProgressPosition(WindowHandle progress, uint32_t position) {
    // The bar moves once a KiB; the blocks between leave it where it is.
    if (progress != nullptr &&
        ::SendMessageA(Bar(progress), PBM_GETPOS, 0, 0) != static_cast<LRESULT>(position)) {
        ::SendMessageA(Bar(progress), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
}

// The window shows the position of the last block until it closes.
void FrontEndProgressDone(WindowHandle) {}

void FrontEndProgressClose(WindowHandle progress) {
    if (progress != nullptr) {
        ::DestroyWindow(Dialog(progress));
    }
}
