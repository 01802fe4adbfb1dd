#pragma once
// Every system call of the Win32 serial service goes through this table, so tests can
// force failures, stalls and a vanished device (ERROR_BAD_COMMAND and friends).
// Switching tables: platform/serial_calls.h.

#include <windows.h>

#include "platform/serial_calls.h"

namespace platform {

struct SerialCalls {
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
    BOOL(WINAPI* CancelIoEx)(HANDLE, LPOVERLAPPED);
    DWORD(WINAPI* MsgWaitForMultipleObjectsEx)(DWORD, const HANDLE*, DWORD, DWORD, DWORD);
};

}  // namespace platform
