#pragma once
// Every system call of the Win32 serial service goes through this table, so tests can
// force failures, stalls and a vanished device (ERROR_BAD_COMMAND and friends).

#include <windows.h>

namespace platform::serial_sys {

struct Table {
    HANDLE(WINAPI* CreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* CloseHandle)(HANDLE);
    BOOL(WINAPI* SetupComm)(HANDLE, DWORD, DWORD);
    BOOL(WINAPI* BuildCommDCBA)(LPCSTR, LPDCB);
    BOOL(WINAPI* GetCommState)(HANDLE, LPDCB);
    BOOL(WINAPI* SetCommState)(HANDLE, LPDCB);
    BOOL(WINAPI* GetCommTimeouts)(HANDLE, LPCOMMTIMEOUTS);
    BOOL(WINAPI* SetCommTimeouts)(HANDLE, LPCOMMTIMEOUTS);
    BOOL(WINAPI* GetCommMask)(HANDLE, LPDWORD);
    BOOL(WINAPI* SetCommMask)(HANDLE, DWORD);
    BOOL(WINAPI* WaitCommEvent)(HANDLE, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* ClearCommError)(HANDLE, LPDWORD, LPCOMSTAT);
    BOOL(WINAPI* PurgeComm)(HANDLE, DWORD);
    BOOL(WINAPI* ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* GetOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
    BOOL(WINAPI* CancelIo)(HANDLE);
    DWORD(WINAPI* MsgWaitForMultipleObjectsEx)(DWORD, const HANDLE*, DWORD, DWORD, DWORD);
};

// The table in use. Tests install a table of their own (which must live until it is
// replaced) and put the defaults back with Restore().
const Table& Current();
const Table& Defaults();
void Install(const Table* table);
void Restore();

}  // namespace platform::serial_sys
