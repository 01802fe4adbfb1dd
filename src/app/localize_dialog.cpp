#include "app/localize_dialog.h"

#include "support/settings.h"

namespace {

BOOL CALLBACK LocalizeControl(HWND control, LPARAM) {
    // DIALOGEX templates give controls without an id the id -1; no string stands there.
    const int id = ::GetDlgCtrlID(control);
    if (id < 1 || id > 65535) {
        return TRUE;
    }
    const char* text = LoadText(static_cast<unsigned>(id));
    if (*text != '\0') {
        ::SetWindowTextA(control, text);
    }
    return TRUE;
}

}  // namespace

void LocalizeDialog(HWND dialog, unsigned captionId) {
    if (captionId != 0) {
        const char* caption = LoadText(captionId);
        if (*caption != '\0') {
            ::SetWindowTextA(dialog, caption);
        }
    }
    ::EnumChildWindows(dialog, LocalizeControl, 0);
}
