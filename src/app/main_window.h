#pragma once
// The main window: menu, toolbar with tooltips, status bar with a clock, the logo, and
// the operator's commands.

#include <windows.h>

inline constexpr const char* kMainWindowClass = "TQ8FlashClass";
inline constexpr const char* kMainWindowCaption = "TQ VIII - Flash-Download-Utility";

// Registers the window class (menu 100 + nLanguageOffset); false when that fails.
bool RegisterMainWindowClass(HINSTANCE instance);

// Creates the main window, hidden; it becomes hMainWnd.
HWND CreateMainWindow(HINSTANCE instance);

// Runs one update owned by window, with the window disabled meanwhile so that none of
// its commands can start while the update holds the connection. Does nothing while an
// operation holds the connection already.
void RunSoftwareUpdate(HWND window);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
