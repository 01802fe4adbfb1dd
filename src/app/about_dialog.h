#pragma once
// The About box (template 100) and the system-information command.

#include <windows.h>

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Hands the current connection's description to SysInfo.Dll, loaded for this call only;
// nothing happens when the library or its entry is missing.
void ShowSystemInformation(HWND owner);
