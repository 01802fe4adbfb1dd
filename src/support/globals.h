#pragma once
// Process-wide state shared by the modules.

#include "platform/types.h"

inline constexpr int kMaxPath = 260;

// The program's directory without a trailing separator.
extern char szProgramDirectory[kMaxPath + 1];

// The main window: owner of every message box, also while still hidden.
extern WindowHandle hMainWnd;

// The selected COM port number, -1 for none.
extern int nInterface;
