#include "support/globals.h"

char szProgramDirectory[kMaxPath + 1] = "";
WindowHandle hMainWnd = nullptr;
int nInterface = -1;
