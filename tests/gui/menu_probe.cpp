// gui_menu_probe.dll: loaded into TQ8Flash.exe by the robot, because wine keeps a menu
// readable only inside the process that made it. On loading it writes the main
// window's menu bar to the file named by TQ8_GUI_PROBE_OUT and declines to stay.
//
// Built without the C runtime (its own entry, Win32 calls only): a library with the
// runtime's TLS directory crashes wine 8 when it is loaded while a serial port of the
// process waits for an event, as TQ8Flash.exe's does once it has a connection.

#include <windows.h>

namespace {

void Append(char* text, int size, const char* part) {
    if (::lstrlenA(text) + ::lstrlenA(part) < size) {
        ::lstrcatA(text, part);
    }
}

void WriteMenu() {
    char path[MAX_PATH] = "";
    if (::GetEnvironmentVariableA("TQ8_GUI_PROBE_OUT", path, sizeof path) == 0) {
        return;
    }
    HWND main = ::FindWindowA("TQ8FlashClass", nullptr);
    if (main == nullptr) {
        return;
    }
    HMENU menu = ::GetMenu(main);
    char report[512] = "";
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        char title[64] = "";
        ::GetMenuStringA(menu, static_cast<UINT>(i), title, sizeof title, MF_BYPOSITION);
        if (i != 0) {
            Append(report, sizeof report, "|");
        }
        Append(report, sizeof report, title);
    }
    Append(report, sizeof report, "\n");
    bool first = true;
    const UINT commands[] = {140U, 141U};
    for (UINT command : commands) {
        if ((::GetMenuState(menu, command, MF_BYCOMMAND) & MF_CHECKED) != 0) {
            char number[16];
            ::wsprintfA(number, first ? "%u" : ",%u", command);
            Append(report, sizeof report, number);
            first = false;
        }
    }
    Append(report, sizeof report, "\n");
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
        WriteMenu();
        return FALSE;  // done: unload again
    }
    return TRUE;
}
