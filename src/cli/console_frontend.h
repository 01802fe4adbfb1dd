#pragma once
// Settings of the console front end.

#include <cstdint>
#include <cstdio>
#include <optional>

// The answer to Yes/No questions: true for Yes, false for No, also on a terminal; none
// asks the terminal, and without one answers No.
void ConsoleSetUnattendedAnswer(std::optional<bool> yes);

// Told of every answered question (caption in CP1252, the answer), before the answer
// goes back to the core; nullptr for none.
using QuestionObserver = void (*)(const char* caption, bool yes);
void ConsoleSetQuestionObserver(QuestionObserver observer);

// Decides every question instead of the terminal and the unattended answer (caption in
// CP1252); nullptr for none.
using QuestionAnswerer = bool (*)(const char* caption);
void ConsoleSetQuestionAnswerer(QuestionAnswerer answerer);

// JSON output: every box, question and answer goes to stderr, so that stdout carries
// only the command's JSON.
void ConsoleSetJsonOutput(bool json);

// Where a text meant for the person goes: stdout, or stderr under JSON output.
std::FILE* ConsolePersonOut();

// Asks [y/n] on the terminal until the answer is one of the language's words; false for
// No and at the end of the input.
bool ConsoleAskTerminal();

// Takes the progress window's calls instead of the drawn bar; nullptr draws the bar.
class ProgressListener {
  public:
    virtual ~ProgressListener() = default;
    virtual void Opened() = 0;
    virtual void Text(const char* text) = 0;  // CP1252, as the core gives it
    virtual void Range(uint32_t maximum) = 0;
    virtual void Position(uint32_t position) = 0;
    virtual void Done() = 0;  // the download was acknowledged whole
    virtual void Closed() = 0;
};
void ConsoleSetProgressListener(ProgressListener* listener);

// From now on every question is answered No without asking, and the interface selection
// is cancelled: the operator asked the run to stop. Safe inside an interrupt handler.
void ConsoleStopAsking();
bool ConsoleStopsAsking();
