// Message boxes and the progress window on the terminal: caption and text in the current
// language, converted to UTF-8. Questions read y/n from the terminal, or take the answer
// given by an option.

#include "cli/console_frontend.h"

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "cli/console_text.h"
#include "cli/progress_bar.h"
#include "platform/console.h"
#include "support/codepage.h"
#include "support/frontend.h"
#include "support/utils.h"

namespace {

std::optional<bool> gUnattendedAnswer;

const char* IconWord(unsigned type) {
    switch (type & kMbIconMask) {
        case kMbIconError:
            return "Error";
        case kMbIconExclamation:
            return "Warning";
        case kMbIconQuestion:
            return "Question";
        case kMbIconInformation:
            return "Information";
        default:
            return nullptr;
    }
}

bool AskTerminal() {
    for (;;) {
        std::fputs("[y/n] ", stdout);
        std::fflush(stdout);
        std::string line;
        if (!std::getline(std::cin, line)) {
            return false;
        }
        if (line == "y" || line == "Y" || line == "yes" || line == "j" || line == "J") {
            return true;
        }
        if (line == "n" || line == "N" || line == "no") {
            return false;
        }
    }
}

// The one progress window; the core opens one per download and closes it before the next.
std::unique_ptr<ProgressBar> gProgress;

ProgressBar* ProgressOf(WindowHandle handle) {
    return handle != nullptr && handle == gProgress.get() ? gProgress.get() : nullptr;
}

std::atomic<QuestionObserver> gQuestionObserver{nullptr};

}  // namespace

// Windows texts break lines with CR LF; a terminal wants LF alone.
std::string TerminalText(const char* text) {
    std::string out;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        if (*p != '\r') {
            out += *p;
        }
    }
    return Cp1252ToUtf8(out);
}

void ConsoleSetQuestionObserver(QuestionObserver observer) {
    gQuestionObserver.store(observer);
}

void ConsoleSetUnattendedAnswer(std::optional<bool> yes) {
    gUnattendedAnswer = yes;
}

int FrontEndMessageBox(WindowHandle, const char* text, const char* caption, unsigned type) {
    const bool question = (type & kMbButtonMask) == kMbYesNo;
    const bool error =
        (type & kMbIconMask) == kMbIconError || (type & kMbIconMask) == kMbIconExclamation;
    std::FILE* out = error && !question ? stderr : stdout;
    const char* icon = IconWord(type);
    std::fprintf(out, "\n== %s%s%s ==\n%s\n", icon != nullptr ? icon : "",
                 icon != nullptr ? ": " : "",
                 TerminalText(caption != nullptr ? caption : "").c_str(),
                 TerminalText(text != nullptr ? text : "").c_str());
    std::fflush(out);
    if (!question) {
        return kIdOk;
    }
    bool yes = false;
    if (platform::IsTerminal(platform::Stream::Input) && !gUnattendedAnswer) {
        yes = AskTerminal();
    } else {
        yes = gUnattendedAnswer.value_or(false);
        std::fprintf(stdout, "-> %s (unattended)\n", yes ? "Yes" : "No");
        std::fflush(stdout);
    }
    if (QuestionObserver observer = gQuestionObserver.load()) {
        observer(caption, yes);
    }
    return yes ? kIdYes : kIdNo;
}

WindowHandle FrontEndProgressOpen(WindowHandle, const char* caption) {
    const bool terminal = platform::IsTerminal(platform::Stream::Output);
    gProgress = std::make_unique<ProgressBar>(
        TerminalText(caption), terminal,
        [](const std::string& text) {
            std::fputs(text.c_str(), stdout);
            std::fflush(stdout);
        },
        [] { return GetTimeMs(); });
    return gProgress.get();
}

void FrontEndProgressText(WindowHandle progress, const char* text) {
    if (ProgressBar* bar = ProgressOf(progress)) {
        bar->SetText(TerminalText(text));
    }
}

void FrontEndProgressRange(WindowHandle progress, uint32_t maximum) {
    if (ProgressBar* bar = ProgressOf(progress)) {
        bar->SetRange(maximum);
    }
}

void FrontEndProgressPosition(WindowHandle progress, uint32_t position) {
    if (ProgressBar* bar = ProgressOf(progress)) {
        bar->SetPosition(position);
    }
}

void FrontEndProgressClose(WindowHandle progress) {
    if (ProgressOf(progress) != nullptr) {
        gProgress.reset();
    }
}

// The console has no window message queue: nothing is ever pending.
unsigned FrontEndDispatchMessages(unsigned) {
    return 0;
}

bool FrontEndMessagesPending() {
    return false;
}

void FrontEndPostMessage(WindowHandle, unsigned, uintptr_t, intptr_t) {}

void FrontEndNotice(const char* text) {
    std::fprintf(stderr, "Warning: %s\n", TerminalText(text != nullptr ? text : "").c_str());
}

int FrontEndWakeDescriptor() {
    return -1;
}
