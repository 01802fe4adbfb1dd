#include "app/about_dialog.h"

#include "app/app_ids.h"
#include "app/localize_dialog.h"
#include "platform/dynlib.h"
#include "update/machine_info.h"

namespace {

// The library's one entry; the caller removes the arguments.
using SysInfoDialogFn = int(__cdecl*)(HWND owner, const char* text);

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            LocalizeDialog(dialog, 0);
            // Built before the box shows, so a warning about the machine comes first.
            char text[kAboutTextCapacity + 1];
            BuildAboutText(dialog, text, sizeof text);
            ::SetDlgItemTextA(dialog, kIdMachineInfo, text);
            return TRUE;
        }
        case WM_COMMAND:
            ::EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
    }
}

void ShowSystemInformation(HWND owner) {
    ModuleHandle library = platform::OpenLibrary("SysInfo.Dll");
    if (library == nullptr) {
        return;
    }
    char text[kSystemInformationCapacity + 1];
    BuildSystemInformationText(text, sizeof text);
    if (auto entry =
            reinterpret_cast<SysInfoDialogFn>(platform::FindSymbol(library, "_SysInfoDialog"))) {
        entry(owner, text);
    }
    platform::CloseLibrary(library);
}
