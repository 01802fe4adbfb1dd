// Message boxes and the progress window on the terminal: caption and text in the current
// language, converted to UTF-8. Questions read y/n from the terminal, or take the answer
// given by an option.

#include "cli/console_frontend.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "cli/console_text.h"
#include "cli/progress_bar.h"
#include "platform/console.h"
#include "support/frontend.h"
#include "support/utils.h"

namespace {

std::optional<bool> gUnattendedAnswer;
bool gJsonOutput = false;
ProgressListener* gProgressListener = nullptr;

// Where a text meant for the person goes: stdout, unless stdout carries JSON.
std::FILE* PersonOut() {
    return gJsonOutput ? stderr : stdout;
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

bool ConsoleAskTerminal() {
    for (;;) {
        std::fputs(ConsoleText(Cli::kAskPrompt), PersonOut());
        std::fflush(PersonOut());
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

std::FILE* ConsolePersonOut() {
    return PersonOut();
}

namespace {

// The one progress window; the core opens one per download and closes it before the next.
std::unique_ptr<ProgressBar> gProgress;
// A listener's window has a handle of its own; the listener stands in for the bar.
bool gListenerOpen = false;
char gListenerHandle;

ProgressBar* ProgressOf(WindowHandle handle) {
    return handle != nullptr && handle == gProgress.get() ? gProgress.get() : nullptr;
}

ProgressListener* ListenerOf(WindowHandle handle) {
    return gListenerOpen && handle == &gListenerHandle ? gProgressListener : nullptr;
}

std::atomic<QuestionObserver> gQuestionObserver{nullptr};
QuestionAnswerer gQuestionAnswerer = nullptr;
std::atomic<bool> gStopAsking{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void ConsoleSetQuestionObserver(QuestionObserver observer) {
    gQuestionObserver.store(observer);
}

void ConsoleSetQuestionAnswerer(QuestionAnswerer answerer) {
    gQuestionAnswerer = answerer;
}

void ConsoleStopAsking() {
    gStopAsking.store(true);
}

bool ConsoleStopsAsking() {
    return gStopAsking.load();
}

void ConsoleSetUnattendedAnswer(std::optional<bool> yes) {
    gUnattendedAnswer = yes;
}

void ConsoleSetJsonOutput(bool json) {
    gJsonOutput = json;
}

void ConsoleSetProgressListener(ProgressListener* listener) {
    gProgressListener = listener;
}

int FrontEndMessageBox(WindowHandle, const char* text, const char* caption, unsigned type) {
    const bool question = (type & kMbButtonMask) == kMbYesNo;
    const bool error =
        (type & kMbIconMask) == kMbIconError || (type & kMbIconMask) == kMbIconExclamation;
    std::FILE* out = error && !question ? stderr : PersonOut();
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
    if (ConsoleStopsAsking()) {
        // The operator asked the update to stop: nothing new may start on the machine.
        std::fprintf(PersonOut(), "%s\n", ConsoleText(Cli::kInterruptedNo));
        std::fflush(PersonOut());
    } else if (gQuestionAnswerer != nullptr) {
        yes = gQuestionAnswerer(caption);
    } else if (platform::IsTerminal(platform::Stream::Input) && !gUnattendedAnswer) {
        yes = ConsoleAskTerminal();
    } else {
        yes = gUnattendedAnswer.value_or(false);
        std::fprintf(PersonOut(), "%s\n",
                     ConsoleText(yes ? Cli::kUnattendedYes : Cli::kUnattendedNo));
        std::fflush(PersonOut());
    }
    if (QuestionObserver observer = gQuestionObserver.load()) {
        observer(caption, yes);
    }
    return yes ? kIdYes : kIdNo;
}

WindowHandle FrontEndProgressOpen(WindowHandle, const char* caption) {
    if (gProgressListener != nullptr) {
        gListenerOpen = true;
        gProgressListener->Opened();
        return &gListenerHandle;
    }
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
        gProgress.reset();
    } else if (ProgressListener* listener = ListenerOf(progress)) {
        gListenerOpen = false;
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
