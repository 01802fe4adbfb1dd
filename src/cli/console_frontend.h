#pragma once
// The console front end: the core's message boxes and progress windows on the terminal,
// set up for the run by its ConsoleSession (console_session.h).

#include <cstdint>
#include <cstdio>

// Asks [y/n] on the terminal, the prompt on out, until the answer is one of the
// language's words; false for No and at the end of the input.
bool ConsoleAskTerminal(std::FILE* out);

// Takes the progress window's calls instead of the drawn bar.
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
