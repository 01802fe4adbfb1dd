#pragma once
// The program's texts as a terminal shows them, and the console's own texts
// (resources/console.en.txt and console.de.txt) in the run's language.

#include <string>
#include <vector>

#include "console_texts.h"

// A CP1252 text with CR LF line breaks as UTF-8 with LF alone; nullptr gives "".
std::string TerminalText(const char* text);

// The console's text in the current language (nLanguageOffset), UTF-8.
const char* ConsoleText(Cli id);

// A table heading of the current language: its columns, split at the text's tabs.
std::vector<std::string> ConsoleColumns(Cli id);

// How many columns a terminal gives a UTF-8 text (one per character).
size_t TerminalWidth(const std::string& text);

// The console's text as a printf format in the current language, filled in.
std::string ConsoleFormat(Cli id, ...);
