#pragma once
// Dialog texts in the current language, by control id.

#include <windows.h>

// Sets the caption from text captionId (0: keep it), then gives every descendant control
// whose id has a string in the current language that string; the others keep the text
// of their template.
void LocalizeDialog(HWND dialog, unsigned captionId);
