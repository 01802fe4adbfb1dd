#pragma once
// What one run of tq8flash shares: how questions are answered, where the person's texts
// and the JSON lines go, the progress window the core has open, and whether an update is
// under way. main makes the one session and hands it to the commands that set it up. The
// front-end functions the core calls, the interrupt handler and the JSON writer cannot be
// handed anything; they find it through Current().

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "cli/console_frontend.h"
#include "cli/progress_bar.h"

class ConsoleSession {
  public:
    // The run's session from here until it is destroyed.
    ConsoleSession();
    ~ConsoleSession();
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    // The run's session; nullptr before main has made it and after it is gone. Safe inside
    // the interrupt handler.
    static ConsoleSession* Current();

    // Where a text meant for the person goes: stdout, or stderr under JSON output.
    std::FILE* PersonOut() const;

    // The answer to Yes/No questions: true for Yes, false for No, also on a terminal; none
    // asks the terminal, and without one answers No.
    std::optional<bool> unattendedAnswer;

    // Decides every question instead of the terminal and the unattended answer (caption in
    // CP1252); empty for none.
    std::function<bool(const char* caption)> questionAnswerer;

    // JSON output: every box, question and answer goes to stderr, so that stdout carries
    // only the command's JSON.
    bool jsonOutput = false;

    // Where the JSON lines go instead of stdout (a line's child keeps stdout for its
    // parent), and whom to tell, on the writing thread, when a line could not be written:
    // its reader has gone. nullptr for stdout and for nobody.
    std::FILE* jsonStream = nullptr;
    void (*jsonReaderGone)() = nullptr;

    // Takes the progress window's calls instead of the drawn bar; nullptr draws the bar.
    ProgressListener* progressListener = nullptr;

    // The progress window the core has open: the drawn bar, or the listener standing in
    // for it under a handle of its own. The core opens one per download and closes it
    // before the next.
    struct ProgressWindow {
        std::unique_ptr<ProgressBar> bar;
        bool listenerOpen = false;
        char listenerHandle = 0;
    } progress;

    // From the operator's Yes to the update's first question until the update is over:
    // the first Ctrl-C then stops the update instead of ending the program.
    std::atomic<bool> updateUnderway{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
};
