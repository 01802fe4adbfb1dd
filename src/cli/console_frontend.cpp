// Message boxes and the progress window on the terminal: caption and text in the current
// language, converted to UTF-8. Questions read y/n from the terminal, or take the answer
// given by an option.

#include "cli/console_frontend.h"

#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "cli/console_session.h"
#include "cli/console_text.h"
#include "cli/progress_bar.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "support/frontend.h"
#include "support/utils.h"

namespace {

// The front-end functions are the core's calls; the run's session is set up by main.
ConsoleSession& Session() {
    return *ConsoleSession::Current();
}

const char* IconWord(unsigned type) {
    switch (type & kMbIconMask) {
        case kMbIconError:
            return ConsoleText(Cli::kIconError);
        case kMbIconExclamation:
            return ConsoleText(Cli::kIconWarning);
        case kMbIconQuestion:
            return ConsoleText(Cli::kIconQuestion);
        case kMbIconInformation:
            return ConsoleText(Cli::kIconInformation);
        default:
            return nullptr;
    }
}

// Whether answer, in any case, is one of the "|"-separated words of the language's list.
bool OneOf(std::string answer, const std::string& words) {
    for (char& c : answer) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    size_t begin = 0;
    for (;;) {
        const size_t end = words.find('|', begin);
        if (words.compare(begin, end - begin, answer) == 0 && !answer.empty()) {
            return true;
        }
        if (end == std::string::npos) {
            return false;
        }
        begin = end + 1;
    }
}

}  // namespace

bool ConsoleAskTerminal(std::FILE* out) {
    for (;;) {
        std::fputs(ConsoleText(Cli::kAskPrompt), out);
        std::fflush(out);
        std::string line;
        if (!std::getline(std::cin, line)) {
            return false;
        }
        if (OneOf(line, ConsoleText(Cli::kAnswersYes))) {
            return true;
        }
        if (OneOf(line, ConsoleText(Cli::kAnswersNo))) {
            return false;
        }
    }
}

namespace {

ProgressBar* ProgressOf(WindowHandle handle) {
    ProgressBar* bar = Session().progress.bar.get();
    return handle != nullptr && handle == bar ? bar : nullptr;
}

ProgressListener* ListenerOf(WindowHandle handle) {
    ConsoleSession& session = Session();
    return session.progress.listenerOpen && handle == &session.progress.listenerHandle
               ? session.progressListener
               : nullptr;
}

}  // namespace

int FrontEndMessageBox(WindowHandle, const char* text, const char* caption, unsigned type) {
    const ConsoleSession& session = Session();
    std::FILE* person = session.PersonOut();
    const bool question = (type & kMbButtonMask) == kMbYesNo;
    const bool error =
        (type & kMbIconMask) == kMbIconError || (type & kMbIconMask) == kMbIconExclamation;
    std::FILE* out = error && !question ? stderr : person;
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
    if (platform::StopRequested()) {
        // The run was asked to stop: nothing new may start on the machine.
        std::fprintf(person, "%s\n", ConsoleText(Cli::kInterruptedNo));
        std::fflush(person);
    } else if (session.questionAnswerer) {
        yes = session.questionAnswerer(caption);
    } else if (platform::IsTerminal(platform::Stream::Input) && !session.unattendedAnswer) {
        yes = ConsoleAskTerminal(person);
    } else {
        yes = session.unattendedAnswer.value_or(false);
        std::fprintf(person, "%s\n", ConsoleText(yes ? Cli::kUnattendedYes : Cli::kUnattendedNo));
        std::fflush(person);
    }
    return yes ? kIdYes : kIdNo;
}

WindowHandle FrontEndProgressOpen(WindowHandle, const char* caption) {
    ConsoleSession& session = Session();
    if (session.progressListener != nullptr) {
        session.progress.listenerOpen = true;
        session.progressListener->Opened();
        return &session.progress.listenerHandle;
    }
    const bool terminal = platform::IsTerminal(platform::Stream::Output);
    session.progress.bar = std::make_unique<ProgressBar>(
        TerminalText(caption), terminal,
        [](const std::string& text) {
            std::fputs(text.c_str(), stdout);
            std::fflush(stdout);
        },
        [] { return GetTimeMs(); });
    return session.progress.bar.get();
}

void FrontEndProgressText(WindowHandle progress, const char* text) {
    if (ProgressBar* bar = ProgressOf(progress)) {
        bar->SetText(TerminalText(text));
    } else if (ProgressListener* listener = ListenerOf(progress)) {
        listener->Text(text);
    }
}

void FrontEndProgressRange(WindowHandle progress, uint32_t maximum) {
    if (ProgressBar* bar = ProgressOf(progress)) {
        bar->SetRange(maximum);
    } else if (ProgressListener* listener = ListenerOf(progress)) {
        listener->Range(maximum);
    }
}

void FrontEndProgressPosition(WindowHandle progress, uint32_t position) {
    if (ProgressBar* bar = ProgressOf(progress)) {
        bar->SetPosition(position);
    } else if (ProgressListener* listener = ListenerOf(progress)) {
        listener->Position(position);
    }
}

void FrontEndProgressDone(WindowHandle progress) {
    if (ProgressBar* bar = ProgressOf(progress)) {
        bar->Complete();
    } else if (ProgressListener* listener = ListenerOf(progress)) {
        listener->Done();
    }
}

void FrontEndProgressClose(WindowHandle progress) {
    if (ProgressOf(progress) != nullptr) {
        Session().progress.bar.reset();
    } else if (ProgressListener* listener = ListenerOf(progress)) {
        Session().progress.listenerOpen = false;
        listener->Closed();
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
    std::fprintf(stderr, "%s: %s\n", ConsoleText(Cli::kIconWarning),
                 TerminalText(text != nullptr ? text : "").c_str());
}

int FrontEndWakeDescriptor() {
    return -1;
}
