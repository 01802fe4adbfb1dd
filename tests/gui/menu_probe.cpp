// gui_menu_probe.dll: loaded into TQ8Flash.exe by the robot, because wine keeps a menu
// readable only inside the process that made it, and the status bar and the toolbar answer
// with their texts and rectangles only into buffers of that process. On loading it writes
// to the file named by TQ8_GUI_PROBE_OUT, one line each: the menu bar's titles, the marked
// language commands, the status bar's clock part, and the toolbar buttons as
// "command=left,top,right,bottom" (toolbar client coordinates); then it declines to stay.
//
// Built without the C runtime (its own entry, Win32 calls only): a library with the
// runtime's TLS directory crashes wine 8 when it is loaded while a serial port of the
// process waits for an event, as TQ8Flash.exe's does once it has a connection.

#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>

namespace {

constexpr int kStatusBarId = 101;
constexpr int kToolBarId = 102;
constexpr int kClockPart = 1;
constexpr UINT kToolbarCommands[] = {110U, 120U, 121U, 140U, 141U, 150U, 152U};

void Append(char* text, int size, const char* part) {
    if (::lstrlenA(text) + ::lstrlenA(part) < size) {
        ::lstrcatA(text, part);
    }
}

// The probe runs on a thread of its own while the window's thread goes on: a control that
// does not answer in time leaves its line empty instead of holding the load forever.
bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
    return ::SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, result) !=
           0;
}

void AppendMenuBar(HWND main, char* report, int size) {
    HMENU menu = ::GetMenu(main);
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        char title[64] = "";
        ::GetMenuStringA(menu, static_cast<UINT>(i), title, sizeof title, MF_BYPOSITION);
        if (i != 0) {
            Append(report, size, "|");
        }
        Append(report, size, title);
    }
    Append(report, size, "\n");
    bool first = true;
    const UINT commands[] = {140U, 141U};
    for (UINT command : commands) {
        if ((::GetMenuState(menu, command, MF_BYCOMMAND) & MF_CHECKED) != 0) {
            char number[16];
            ::wsprintfA(number, first ? "%u" : ",%u", command);
            Append(report, size, number);
            first = false;
        }
    }
    Append(report, size, "\n");
}

void AppendClock(HWND main, char* report, int size) {
    HWND statusBar = ::GetDlgItem(main, kStatusBarId);
    DWORD_PTR length = 0;
    char text[128] = "";
    if (statusBar != nullptr && Ask(statusBar, SB_GETTEXTLENGTHA, kClockPart, 0, &length) &&
        LOWORD(length) < sizeof text) {
        DWORD_PTR ignored = 0;
        Ask(statusBar, SB_GETTEXTA, kClockPart, reinterpret_cast<LPARAM>(text), &ignored);
    }
    Append(report, size, text);
    Append(report, size, "\n");
}

void AppendButtons(HWND main, char* report, int size) {
    HWND toolbar = ::GetDlgItem(main, kToolBarId);
    bool first = true;
    for (UINT command : kToolbarCommands) {
        RECT rect{};
        DWORD_PTR found = 0;
        if (toolbar == nullptr ||
            !Ask(toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&rect), &found) ||
            found == 0) {
            continue;
        }
        char entry[64];
        ::wsprintfA(entry, first ? "%u=%d,%d,%d,%d" : " %u=%d,%d,%d,%d", command, rect.left,
                    rect.top, rect.right, rect.bottom);
        Append(report, size, entry);
        first = false;
    }
    Append(report, size, "\n");
}

void WriteReport() {
    char path[MAX_PATH] = "";
    if (::GetEnvironmentVariableA("TQ8_GUI_PROBE_OUT", path, sizeof path) == 0) {
        return;
    }
    HWND main = ::FindWindowA("TQ8FlashClass", nullptr);
    if (main == nullptr) {
        return;
    }
    char report[1024] = "";
    AppendMenuBar(main, report, sizeof report);
    AppendClock(main, report, sizeof report);
    AppendButtons(main, report, sizeof report);
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, report, static_cast<DWORD>(::lstrlenA(report)), &written, nullptr);
        ::CloseHandle(file);
    }
}

}  // namespace

extern "C" BOOL WINAPI ProbeEntry(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        WriteReport();
        return FALSE;  // done: unload again
    }
    return TRUE;
}
