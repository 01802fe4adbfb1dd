// The interface selection dialog (template 101): a combo box view over the dialog logic
// of the protocol library.

#include <windows.h>

#include <string>

#include "app/app_ids.h"
#include "app/localize_dialog.h"
#include "app/modal_owner.h"
#include "protocol/interface_dialog.h"
#include "support/frontend.h"
#include "text_ids.h"

namespace {

class ComboBoxView final : public InterfaceDialogView {
  public:
    void Attach(HWND dialog) {
        dialog_ = dialog;
        combo_ = ::GetDlgItem(dialog, kIdPortList);
    }

    WindowHandle Window() const override { return dialog_; }

    void AddPort(const char* name) override {
        ::SendMessageA(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }

    bool SelectPort(const char* name) override {
        // Exact names: a prefix match would take COM1 for COM10.
        const LRESULT index = ::SendMessageA(combo_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(name));
        if (index == CB_ERR) {
            return false;
        }
        ::SendMessageA(combo_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        return true;
    }

    void ClearSelection() override {
        ::SendMessageA(combo_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }

    std::string SelectedPort() const override {
        const LRESULT index = ::SendMessageA(combo_, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) {
            return {};
        }
        const LRESULT length =
            ::SendMessageA(combo_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length == CB_ERR || length <= 0) {
            return {};
        }
        std::string text(static_cast<size_t>(length) + 1, '\0');
        ::SendMessageA(combo_, CB_GETLBTEXT, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
        return text;
    }

  private:
    HWND dialog_ = nullptr;
    HWND combo_ = nullptr;
};

ComboBoxView* ViewOf(HWND dialog) {
    return reinterpret_cast<ComboBoxView*>(::GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR CALLBACK InterfaceDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* view = reinterpret_cast<ComboBoxView*>(lParam);
            ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            view->Attach(dialog);
            ::SendMessageA(dialog, WM_SETICON, ICON_BIG,
                           reinterpret_cast<LPARAM>(
                               ::LoadIconA(AppInstance(), MAKEINTRESOURCEA(kIconInterface))));
            LocalizeDialog(dialog, kCaptionInterface);
            InterfaceDialogInit(*view);
            return TRUE;  // the system sets the focus
        }
        case WM_COMMAND: {
            ComboBoxView* view = ViewOf(dialog);
            if (view == nullptr) {
                return FALSE;
            }
            switch (LOWORD(wParam)) {
                case IDOK:
                    ::EndDialog(dialog, InterfaceDialogOk(*view));
                    return TRUE;
                case IDCANCEL:
                    ::EndDialog(dialog, 0);
                    return TRUE;
                case kIdSearch:
                    InterfaceDialogSearch(*view);
                    return TRUE;
                default:
                    return FALSE;
            }
        }
        default:
            return FALSE;
    }
}

}  // namespace

int FrontEndSelectInterface(WindowHandle owner) {
    const KeepOwnerDisabled keep(static_cast<HWND>(owner));
    ComboBoxView view;
    const INT_PTR result =
        ::DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(kDlgInterface), static_cast<HWND>(owner),
                          InterfaceDlgProc, reinterpret_cast<LPARAM>(&view));
    return result == 1 ? 1 : 0;
}
