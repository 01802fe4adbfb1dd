// SysInfo.Dll: the system-information dialog that TQ8Flash.exe calls for command 152.

#include <windows.h>

#include <cstdio>
#include <string>

#include "sysinfo_report.h"

namespace {

constexpr int kDialogSysInfo = 1;
constexpr int kIdReport = 100;
constexpr int kLastComPort = 32;

HINSTANCE gModule = nullptr;

// The version the system really runs: GetVersionEx answers what the caller's manifest
// allows it to know, so ask ntdll.
std::string WindowsVersion() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    auto getVersion = ntdll != nullptr ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
                                             ::GetProcAddress(ntdll, "RtlGetVersion")))
                                       : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (getVersion == nullptr || getVersion(&info) != 0) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu (build %lu)", info.dwMajorVersion,
                  info.dwMinorVersion, info.dwBuildNumber);
    return text;
}

PcFacts GatherFacts() {
    PcFacts facts;
    facts.windowsVersion = WindowsVersion();
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (::GlobalMemoryStatusEx(&memory)) {
        facts.totalMemoryMiB = memory.ullTotalPhys / (1024 * 1024);
        facts.freeMemoryMiB = memory.ullAvailPhys / (1024 * 1024);
    }
    // A port is present when its device exists; one held by a program (the machine's
    // own connection) refuses the open but is there all the same.
    for (int port = 1; port <= kLastComPort; ++port) {
        char name[24];
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", port);
        HANDLE device = ::CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD error = ::GetLastError();
        if (device != INVALID_HANDLE_VALUE) {
            ::CloseHandle(device);
        } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            continue;
        }
        facts.comPorts.emplace_back(name + 4);
    }
    return facts;
}

INT_PTR CALLBACK SysInfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const std::string report =
                SysInfoReport(reinterpret_cast<const char*>(lParam), GatherFacts());
            ::SetDlgItemTextA(dialog, kIdReport, report.c_str());
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

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
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
