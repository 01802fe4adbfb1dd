#include "app/main_window.h"

#include <commctrl.h>

#include <array>
#include <string>

#include "app/about_dialog.h"
#include "app/app_ids.h"
#include "app/app_logic.h"
#include "app/draw_bitmap.h"
#include "app/update_record.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/utils.h"
#include "text_ids.h"
#include "update/software_update.h"

namespace {

constexpr UINT_PTR kClockTimerId = 1;
constexpr UINT kClockPeriodMs = 500;
constexpr const char* kProgramName = "TQ8Flash";
constexpr COLORREF kLogoTransparent = RGB(255, 255, 255);
constexpr int kImageSize = 16;
constexpr int kButtonWidth = 18;
constexpr int kButtonHeight = 17;

HWND hStatusBar = nullptr;
HWND hToolBar = nullptr;
UINT_PTR nClockTimer = 0;
char szHelpFile[kMaxPath + 1] = "";

constexpr TBBUTTON Separator() {
    return TBBUTTON{0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0};
}
constexpr TBBUTTON Button(int image, int command, BYTE style = BTNS_BUTTON) {
    return TBBUTTON{image, command, TBSTATE_ENABLED, style, {}, 0, 0};
}

const std::array<TBBUTTON, 11> kToolbarButtons = {
    Separator(),
    Button(3, kCmdQuit),
    Separator(),
    Button(30, kCmdUpdate),
    Button(24, kCmdSelectInterface),
    Separator(),
    Button(12, kCmdGerman, BTNS_CHECKGROUP),
    Button(13, kCmdEnglish, BTNS_CHECKGROUP),
    Separator(),
    Button(8, kCmdSystemInformation),
    Button(29, kCmdAbout),
};

int GetClientHeight(HWND window) {
    RECT rect{};
    ::GetClientRect(window, &rect);
    return rect.bottom - rect.top;
}

int GetClientWidth(HWND window) {
    RECT rect{};
    ::GetClientRect(window, &rect);
    return rect.right - rect.left;
}

void LayoutStatusBar(HWND statusBar) {
    const std::array<int, 2> ends = StatusBarPartEnds(GetClientWidth(::GetParent(statusBar)));
    ::SendMessageA(statusBar, SB_SETPARTS, ends.size(), reinterpret_cast<LPARAM>(ends.data()));
}

void CALLBACK ClockTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string text = ClockText(now.wHour, now.wMinute, now.wSecond);
    ::SendMessageA(hStatusBar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(text.c_str()));
}

void ApplyLanguage(HWND window) {
    const bool german = nLanguageOffset != 0;
    HMENU menu = ::GetMenu(window);
    ::CheckMenuItem(menu, kCmdEnglish, MF_BYCOMMAND | (german ? MF_UNCHECKED : MF_CHECKED));
    ::CheckMenuItem(menu, kCmdGerman, MF_BYCOMMAND | (german ? MF_CHECKED : MF_UNCHECKED));
    // The two buttons form a check group; releasing the other one explicitly keeps them
    // right even where a check message leaves the group alone.
    ::SendMessageA(hToolBar, TB_CHECKBUTTON, german ? kCmdEnglish : kCmdGerman, FALSE);
    ::SendMessageA(hToolBar, TB_CHECKBUTTON, german ? kCmdGerman : kCmdEnglish, TRUE);
    CopyString(szHelpFile, szProgramDirectory, sizeof szHelpFile);
    AppendString(szHelpFile, "\\", sizeof szHelpFile);
    AppendString(szHelpFile, LoadText(kTextHelpFile), sizeof szHelpFile);
}

void SwitchLanguage(HWND window, int command) {
    nLanguageOffset = command == kCmdGerman ? kGermanLanguageOffset : 0;
    HMENU previous = ::GetMenu(window);
    ::SetMenu(window, ::LoadMenuA(AppInstance(), MAKEINTRESOURCEA(kMenuMain + nLanguageOffset)));
    if (previous != nullptr) {
        ::DestroyMenu(previous);
    }
    ApplyLanguage(window);
}

// The toolbar made step by step rather than by CreateToolbarEx: wine's version of that
// call cuts the strip into images of the button width (18) instead of 16 pixels.
HWND CreateToolBar(HWND window) {
    HWND toolbar = ::CreateWindowExA(
        0, TOOLBARCLASSNAMEA, "",
        WS_CHILD | WS_VISIBLE | WS_BORDER | TBSTYLE_TOOLTIPS | TBSTYLE_WRAPABLE, 0, 0, 0, 0, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdToolBar)), AppInstance(), nullptr);
    if (toolbar == nullptr) {
        return nullptr;
    }
    ::SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageA(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(kImageSize, kImageSize));
    TBADDBITMAP strip{AppInstance(), static_cast<UINT_PTR>(kBmpToolbar)};
    ::SendMessageA(toolbar, TB_ADDBITMAP, kToolbarImages, reinterpret_cast<LPARAM>(&strip));
    // Common controls 6 pad every image by 7 x 6 pixels and grow the buttons to fit, which
    // makes them 23 x 22 and moves the logo; this padding keeps them at 18 x 17.
    ::SendMessageA(toolbar, TB_SETPADDING, 0,
                   MAKELPARAM(kButtonWidth - kImageSize, kButtonHeight - kImageSize));
    ::SendMessageA(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(kButtonWidth, kButtonHeight));
    ::SendMessageA(toolbar, TB_ADDBUTTONSA, kToolbarButtons.size(),
                   reinterpret_cast<LPARAM>(kToolbarButtons.data()));
    ::SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    return toolbar;
}

void CreateChildren(HWND window) {
    // The notice is the version, which reads the same under either language's menus.
    const std::string notice = std::string(kProgramName) + " - " + LoadText(kTextRelease);
    hStatusBar = ::CreateWindowExA(
        0, STATUSCLASSNAMEA, notice.c_str(), WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdStatusBar)), AppInstance(), nullptr);
    LayoutStatusBar(hStatusBar);
    ::SendMessageA(hStatusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(notice.c_str()));
    nClockTimer = ::SetTimer(hStatusBar, kClockTimerId, kClockPeriodMs, ClockTimerProc);

    hToolBar = CreateToolBar(window);
    ApplyLanguage(window);
}

void Paint(HWND window) {
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(window, &paint);
    const int toolbarHeight = GetClientHeight(hToolBar);
    const int statusHeight = GetClientHeight(hStatusBar);
    const int x = GetClientWidth(window) / 2;
    const int y = toolbarHeight + (GetClientHeight(window) - toolbarHeight - statusHeight) / 2;
    DrawBitmapResource(dc, x, y, kBmpLogo, kLogoTransparent, kAnchorCentre);
    ::EndPaint(window, &paint);
}

// A command that reaches the window while an operation holds the connection (posted
// before the window was disabled, or sent from outside) must leave the connection alone.
bool ConnectionFree() {
    const ConnectionLease probe;
    return probe.Acquired();
}

void Command(HWND window, int command) {
    switch (command) {
        case kCmdQuit:
            ::DestroyWindow(window);
            break;
        case kCmdUpdate:
            RunSoftwareUpdate(window);
            break;
        case kCmdSelectInterface: {
            const ConnectionLease lease;
            if (lease.Acquired()) {
                FrontEndSelectInterface(window);
            }
            break;
        }
        case kCmdEnglish:
        case kCmdGerman:
            SwitchLanguage(window, command);
            break;
        case kCmdAbout:
            // The box takes the connection itself while it reads the machine.
            if (ConnectionFree()) {
                ::DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(kDlgAbout), window, AboutDlgProc,
                                  0);
            }
            break;
        case kCmdHelp:
            ::WinHelpA(window, szHelpFile, HELP_FINDER, 0);
            break;
        case kCmdSystemInformation:
            ShowSystemInformation(window);
            break;
        default:
            break;
    }
}

}  // namespace

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(kIconApp));
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszMenuName = MAKEINTRESOURCEA(kMenuMain + nLanguageOffset);
    wc.lpszClassName = kMainWindowClass;
    return ::RegisterClassA(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    hMainWnd = ::CreateWindowExA(0, kMainWindowClass, kMainWindowCaption, WS_OVERLAPPEDWINDOW,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 nullptr, nullptr, instance, nullptr);
    return static_cast<HWND>(hMainWnd);
}

void RunSoftwareUpdate(HWND window) {
    if (!ConnectionFree()) {
        return;
    }
    const BOOL wasEnabled = !::EnableWindow(window, FALSE);
    const UpdateStopwatch stopwatch(nInterface);
    UpdateReport report;
    PerformSoftwareUpdate(window, report);
    // After the last box of the update: the record changes nothing the operator sees.
    KeepUpdateRecord(report, stopwatch);
    if (wasEnabled) {
        ::EnableWindow(window, TRUE);
    }
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            hMainWnd = window;
            CreateChildren(window);
            return 0;
        case WM_SIZE: {
            const int width = LOWORD(lParam);
            const int height = HIWORD(lParam);
            ::MoveWindow(hStatusBar, 0, height - 10, width, height, FALSE);
            ::MoveWindow(hToolBar, 0, 0, width, 0, FALSE);
            LayoutStatusBar(hStatusBar);
            return 0;
        }
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->code == TTN_NEEDTEXTA) {
                auto* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
                info->hinst = AppInstance();
                info->lpszText =
                    MAKEINTRESOURCEA(static_cast<int>(header->idFrom) + nLanguageOffset);
                return 0;
            }
            break;
        }
        case WM_COMMAND:
            Command(window, LOWORD(wParam));
            return 0;
        case WM_DESTROY:
            ::KillTimer(hStatusBar, nClockTimer);
            ::DestroyWindow(hStatusBar);
            hStatusBar = nullptr;
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}
