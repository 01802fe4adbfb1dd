// tq8flash search: the search over COM1..COM8 for the machine.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_interface.h"
#include "cli/console_text.h"
#include "cli/json_out.h"
#include "cli/ports/ports.h"
#include "cli/run_options.h"
#include "protocol/connection.h"
#include "protocol/interface_dialog.h"
#include "support/globals.h"
#include "support/settings.h"
#include "text_ids.h"
#include "update/exit_codes.h"

namespace {

// Shows each port as the search tries it, like the dialog's combo box; with JSON output
// the person still sees it on stderr, and the ports tried go into the document.
class SearchProgress : public ConsoleInterfaceList {
  public:
    explicit SearchProgress(bool json) : ConsoleInterfaceList(hMainWnd), json_(json) {}
    bool SelectPort(const char* name) override {
        std::FILE* out = json_ ? stderr : stdout;
        std::fprintf(out, "  %s ...\n", name != nullptr ? name : "");
        std::fflush(out);
        tried_.push_back(name != nullptr ? name : "");
        return ConsoleInterfaceList::SelectPort(name);
    }
    const std::vector<std::string>& Tried() const { return tried_; }

  private:
    bool json_;
    std::vector<std::string> tried_;
};

// save stores the port found as "Interface", and with it the binding of a device that
// portOption (--port) gave that port for this run.
int RunSearch(bool save, bool json, const std::string& portOption) {
    std::fprintf(json ? stderr : stdout, "%s\n", TerminalText(LoadText(kCaptionSearch)).c_str());
    SearchProgress view(json);
    const int selected = nInterface;
    const int port = Schnittstelle_suchen(view);
    bool saved = false;
    int code = kExitSuccess;
    if (port == -1) {
        std::fprintf(stderr, "%s\n", TerminalText(LoadText(kTextNotFound)).c_str());
        code = kExitNoConnection;
    } else {
        if (!json) {
            std::printf("%s\n", TerminalText(FormatText(LoadText(kTextFound), port)).c_str());
        }
        if (save) {
            nInterface = port;
            saved = RegWriteDword(HKEY_CURRENT_USER_ROOT, kProgramKey, kInterfaceValue, port);
            // Only the selected port opens a device given with --port.
            if (saved && port == selected && !portOption.empty() &&
                ComPortNumber(portOption) == 0) {
                saved = StorePortBinding(port, portOption, json ? stderr : stdout);
            }
            if (!saved) {
                std::fprintf(stderr, "%s\n", ConsoleText(Cli::kPortNotStored));
                code = kExitFailure;
            }
        }
    }
    if (json) {
        PrintJson({{"found", port != -1},
                   {"port", port != -1 ? nlohmann::json("COM" + std::to_string(port)) : nullptr},
                   {"tried", view.Tried()},
                   {"saved", saved}});
    }
    return code;
}

class SearchCommand : public Command {
  public:
    SearchCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, "search", "Search COM1..COM8 for the machine") {
        AddRunOptions(App(), options);
        App().add_flag("--save", save_, "store the port found as the selected interface");
        AddJsonOption(App(), json_, "the result as one JSON document on stdout");
    }

    bool Json() const override { return json_; }
    bool StoresPortGiven() const override { return save_; }
    std::optional<int> PortToExplain(int) const override { return 0; }
    int Run(ConsoleSession&, const RunOptions& options) override {
        return RunSearch(save_, json_, options.port);
    }

  private:
    bool save_ = false;
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddSearchCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<SearchCommand>(app, options);
}
