// SysInfo.Dll: the system-information dialog that TQ8Flash.exe calls for command 152.
//
// Built without the C runtime (its own entry, Win32 calls only): the runtime's start-up
// code brings a TLS directory, and wine 8 crashes loading a library with one while a
// serial port of the process waits for an event in another thread, which is the case
// whenever TQ8Flash.exe has a connection open.

#include <windows.h>

#include "sysinfo_report.h"

namespace {

constexpr int kDialogSysInfo = 1;
constexpr int kIdReport = 100;
constexpr int kReportSize = 2048;

HINSTANCE gModule = nullptr;

// The version the system really runs: GetVersionEx answers what the caller's manifest
// allows it to know, so ask ntdll.
void ReadWindowsVersion(PcFacts& facts) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) {
        return;
    }
    auto getVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info;
    ::ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (getVersion != nullptr && getVersion(&info) == 0) {
        facts.windowsMajor = info.dwMajorVersion;
        facts.windowsMinor = info.dwMinorVersion;
        facts.windowsBuild = info.dwBuildNumber;
    }
}

void GatherFacts(PcFacts& facts) {
    ReadWindowsVersion(facts);
    MEMORYSTATUSEX memory;
    ::ZeroMemory(&memory, sizeof memory);
    memory.dwLength = sizeof memory;
    if (::GlobalMemoryStatusEx(&memory)) {
        facts.totalMemoryMiB = memory.ullTotalPhys / (1024 * 1024);
        facts.freeMemoryMiB = memory.ullAvailPhys / (1024 * 1024);
    }
    // A port is present when its device exists; one held by a program (the machine's
    // own connection) refuses the open but is there all the same.
    for (int port = 1; port <= kMaxComPorts; ++port) {
        char name[24];
        ::wsprintfA(name, "\\\\.\\COM%d", port);
        HANDLE device = ::CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD error = ::GetLastError();
        if (device != INVALID_HANDLE_VALUE) {
            ::CloseHandle(device);
        } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            continue;
        }
        facts.comPorts[facts.comPortCount++] = port;
    }
}

INT_PTR CALLBACK SysInfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            PcFacts facts;
            GatherFacts(facts);
            char report[kReportSize];
            SysInfoReport(reinterpret_cast<const char*>(lParam), facts, report, sizeof report);
            ::SetDlgItemTextA(dialog, kIdReport, report);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

extern "C" BOOL WINAPI SysInfoEntry(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = module;
        ::DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

// Exported as _SysInfoDialog (sysinfo.def). The caller removes the arguments.
extern "C" int __cdecl SysInfoDialog(HWND owner, const char* text) {
    return static_cast<int>(
        ::DialogBoxParamA(gModule, MAKEINTRESOURCEA(kDialogSysInfo), owner, SysInfoDlgProc,
                          reinterpret_cast<LPARAM>(text != nullptr ? text : "")));
}
