// tq8flash sysinfo: the system-information text of a connection opened on the selected
// port, or its parts as one JSON document.

#include <cstdio>

#include "cli/commands.h"
#include "protocol/connection.h"
#include "support/globals.h"
#include "update/exit_codes.h"
#include "update/machine_info.h"

namespace {

int RunSysinfo() {
    if (nInterface != -1) {
        Schnittstelle_initialisieren(hMainWnd, nInterface, 1);
    }
    char text[kMaxPath + 1] = "";
    BuildSystemInformationText(text, sizeof text);
    std::printf("%s\n", text);
    std::fflush(stdout);
    const bool connected = pProtokoll != nullptr;
    pProtokoll.reset();
    return connected ? kExitSuccess : kExitNoConnection;
}

class SysinfoCommand : public Command {
  public:
    SysinfoCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, "sysinfo",
                  "Open the selected port and show the system-information text of that "
                  "connection (\"|\" when no machine answers)") {
        AddRunOptions(App(), options);
        AddJsonOption(App(), json_, "the text and its parts as one JSON document on stdout");
    }

    bool Json() const override { return json_; }
    int Run(ConsoleSession&, const RunOptions&) override {
        return json_ ? RunSysinfoJson() : RunSysinfo();
    }

  private:
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddSysinfoCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<SysinfoCommand>(app, options);
}
