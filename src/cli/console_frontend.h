#pragma once
// Settings of the console front end.

#include <optional>

// The answer to Yes/No questions when standard input is no terminal: true for Yes,
// false for No; none leaves such questions answered No.
void ConsoleSetUnattendedAnswer(std::optional<bool> yes);
