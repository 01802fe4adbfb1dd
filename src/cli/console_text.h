#pragma once
// The program's texts as a terminal shows them.

#include <string>

// A CP1252 text with CR LF line breaks as UTF-8 with LF alone; nullptr gives "".
std::string TerminalText(const char* text);
