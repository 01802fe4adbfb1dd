// Message boxes on the terminal: caption and text in the current language, converted to
// UTF-8. Questions read y/n from the terminal, or take the answer given by an option.

#include "cli/console_frontend.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/console.h"
#include "support/codepage.h"
#include "support/frontend.h"

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

// Windows texts break lines with CR LF; a terminal wants LF alone.
std::string TerminalText(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != '\r') {
            out += *p;
        }
    }
    return Cp1252ToUtf8(out);
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

}  // namespace

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
    return yes ? kIdYes : kIdNo;
}

// The console has no window message queue: nothing is ever pending.
unsigned FrontEndDispatchMessages(unsigned) {
    return 0;
}

bool FrontEndMessagesPending() {
    return false;
}

void FrontEndPostMessage(WindowHandle, unsigned, uintptr_t, intptr_t) {}

int FrontEndWakeDescriptor() {
    return -1;
}
