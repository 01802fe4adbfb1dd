#pragma once
// Settings of the console front end.

#include <optional>

// The answer to Yes/No questions: true for Yes, false for No, also on a terminal; none
// asks the terminal, and without one answers No.
void ConsoleSetUnattendedAnswer(std::optional<bool> yes);

// Told of every answered question (caption in CP1252, the answer), before the answer
// goes back to the core; nullptr for none.
using QuestionObserver = void (*)(const char* caption, bool yes);
void ConsoleSetQuestionObserver(QuestionObserver observer);
