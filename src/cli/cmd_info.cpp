// tq8flash info: the About text, or its values as one JSON document.

#include <cstdio>
#include <string>

#include "cli/bundle_text.h"
#include "cli/commands.h"
#include "cli/console_text.h"
#include "protocol/connection.h"
#include "support/globals.h"
#include "support/settings.h"
#include "text_ids.h"
#include "update/exit_codes.h"
#include "update/machine_info.h"

bool PrintAboutText() {
    char text[1024] = "";
    BuildAboutText(hMainWnd, text, sizeof text);
    // The date line ends without a line break; the terminal's prompt must not follow on it.
    std::string about = TerminalText(text);
    if (!about.empty() && about.back() != '\n') {
        about += '\n';
    }
    std::printf("%s\n\n%s", TerminalText(LoadText(kTextProgramName)).c_str(), about.c_str());
    std::fflush(stdout);
    return pProtokoll != nullptr;
}

namespace {

int RunInfo() {
    const bool answered = PrintAboutText();
    std::printf("\n%s",
                BundleStateText(CheckInstalled(szProgramDirectory), szProgramDirectory).c_str());
    pProtokoll.reset();
    return answered ? kExitSuccess : kExitNoConnection;
}

class InfoCommand : public Command {
  public:
    InfoCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, "info",
                  "Show the versions of machine and file, serial number, updates and date") {
        AddRunOptions(App(), options);
        AddDirOption(App(), options);
        AddJsonOption(App(), json_, "the values as one JSON document on stdout");
    }

    bool Json() const override { return json_; }
    int Run(ConsoleSession&, const RunOptions&) override {
        return json_ ? RunInfoJson() : RunInfo();
    }

  private:
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddInfoCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<InfoCommand>(app, options);
}
