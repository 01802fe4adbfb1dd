#include "cli/console_interface.h"

#include <cctype>
#include <iostream>

#include "cli/console_session.h"
#include "cli/console_text.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "support/frontend.h"
#include "support/settings.h"
#include "text_ids.h"

namespace {

std::string Lowered(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

void ShowMenu(const ConsoleInterfaceList& list, std::FILE* out) {
    std::fprintf(out, "\n== %s ==\n", TerminalText(LoadText(kCaptionInterface)).c_str());
    const std::string selected = list.SelectedPort();
    if (list.Ports().empty()) {
        std::fprintf(out, "%s\n", ConsoleText(Cli::kInterfaceNone));
    }
    for (size_t i = 0; i < list.Ports().size(); ++i) {
        const std::string& port = list.Ports()[i];
        std::fprintf(out, "  %zu  %s%s\n", i + 1, port.c_str(), port == selected ? "  <" : "");
    }
    std::fputs(ConsoleFormat(Cli::kInterfaceChoices, TerminalText(LoadText(kTextOkay)).c_str(),
                             ConsoleText(Cli::kInterfaceKeySearch),
                             TerminalText(LoadText(kTextSearch)).c_str(),
                             ConsoleText(Cli::kInterfaceKeyCancel),
                             TerminalText(LoadText(kTextCancel)).c_str())
                   .c_str(),
               out);
    std::fflush(out);
}

// The listed port a choice names: "2" (its place in the list), "COM3" or "com3".
std::string ChosenPort(const ConsoleInterfaceList& list, const std::string& choice) {
    for (const std::string& port : list.Ports()) {
        if (Lowered(port) == Lowered(choice)) {
            return port;
        }
    }
    if (choice.empty() || choice.size() > 2 ||
        !std::isdigit(static_cast<unsigned char>(choice[0])) ||
        (choice.size() == 2 && !std::isdigit(static_cast<unsigned char>(choice[1])))) {
        return {};
    }
    const size_t place = static_cast<size_t>(std::stoi(choice));
    return place >= 1 && place <= list.Ports().size() ? list.Ports()[place - 1] : std::string();
}

}  // namespace

void ConsoleInterfaceList::AddPort(const char* name) {
    ports_.emplace_back(name != nullptr ? name : "");
}

bool ConsoleInterfaceList::SelectPort(const char* name) {
    for (size_t i = 0; i < ports_.size(); ++i) {
        if (name != nullptr && ports_[i] == name) {
            selected_ = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

std::string ConsoleInterfaceList::SelectedPort() const {
    return selected_ < 0 ? std::string() : ports_[static_cast<size_t>(selected_)];
}

int RunInterfaceMenu(ConsoleInterfaceList& list, std::istream& in, std::FILE* out) {
    for (;;) {
        ShowMenu(list, out);
        std::string line;
        if (!std::getline(in, line)) {
            std::fprintf(out, "\n-> %s\n", TerminalText(LoadText(kTextCancel)).c_str());
            return 0;
        }
        const std::string choice = Trimmed(line);
        const std::string lowered = Lowered(choice);
        if (lowered == ConsoleText(Cli::kInterfaceKeyCancel)) {
            return 0;
        }
        if (lowered == ConsoleText(Cli::kInterfaceKeySearch)) {
            InterfaceDialogSearch(list);
            continue;
        }
        if (!choice.empty()) {
            const std::string port = ChosenPort(list, choice);
            if (port.empty()) {
                std::fprintf(out, "%s\n",
                             ConsoleFormat(Cli::kInterfaceNotListed, choice.c_str()).c_str());
                continue;
            }
            list.SelectPort(port.c_str());
        }
        return InterfaceDialogOk(list);
    }
}

int FrontEndSelectInterface(WindowHandle owner) {
    ConsoleInterfaceList list(owner);
    InterfaceDialogInit(list);
    // Under --json stdout carries the JSON alone.
    std::FILE* out = ConsoleSession::Current()->PersonOut();
    if (platform::StopRequested()) {
        // Ctrl-C during the search: the update ends here, as after a Cancel.
        std::fprintf(out, "\n-> %s\n", TerminalText(LoadText(kTextCancel)).c_str());
        std::fflush(out);
        return 0;
    }
    if (!platform::IsTerminal(platform::Stream::Input)) {
        // Nobody can choose, whatever --yes says: a port picked for the operator could
        // be the wrong machine.
        std::fprintf(out, "\n== %s ==\n", TerminalText(LoadText(kCaptionInterface)).c_str());
        for (const std::string& port : list.Ports()) {
            std::fprintf(out, "  %s\n", port.c_str());
        }
        std::fprintf(
            out, "%s\n",
            ConsoleFormat(Cli::kInterfaceNoTerminal, TerminalText(LoadText(kTextCancel)).c_str())
                .c_str());
        std::fflush(out);
        return 0;
    }
    return RunInterfaceMenu(list, std::cin, out);
}
