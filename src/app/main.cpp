// TQ8Flash.exe: runs one update at start, then offers the main window for more.

#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>

#include <string>

#include "app/app_ids.h"
#include "app/app_logic.h"
#include "app/main_window.h"
#include "platform/process.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/utils.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    SetAppInstance(instance);
    // The trace library comes first, so that everything after it can trace.
    LoadDebugLibrary();
    const std::string directory = ProgramDirectoryFromCommandLine(
        ::GetCommandLineA(), platform::ProgramPath().c_str(), sizeof szProgramDirectory);
    CopyString(szProgramDirectory, directory.c_str(), sizeof szProgramDirectory);
    nLanguageOffset = LanguageOffsetForLcid(platform::UserDefaultLcid());
    ReadStartupSettings();
    ::InitCommonControls();

    if (previous == nullptr && !RegisterMainWindowClass(instance)) {
        FreeDebugLibrary();
        return 0;
    }
    HWND window = CreateMainWindow(instance);
    if (window == nullptr) {
        FreeDebugLibrary();
        return 0;
    }

    RunSoftwareUpdate(window);
    const char* text = LoadText(kTextQuit);
    if (::MessageBoxA(window, text, LoadText(kCaptionQuit), MB_YESNO | MB_ICONQUESTION) == IDNO) {
        ::ShowWindow(window, show);
        ::UpdateWindow(window);
    } else {
        ::DestroyWindow(window);
    }

    MSG msg{};
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    CloseConnection();
    FreeDebugLibrary();
    return static_cast<int>(msg.wParam);
}
