// The commands that ask the machine without changing it: search and check.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_interface.h"
#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/json_out.h"
#include "cli/ports/ports.h"
#include "cli/run_options.h"
#include "protocol/connection.h"
#include "protocol/interface_dialog.h"
#include "support/globals.h"
#include "support/settings.h"
#include "text_ids.h"

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

constexpr Cli kAreaNames[] = {Cli::kAreaBootloader, Cli::kAreaApplication, Cli::kAreaTexts};
// Documents keep one spelling, whatever the run's language.
constexpr const char* kAreaJsonNames[] = {"bootloader", "application", "display texts"};

}  // namespace

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
            saved = RegWriteDword(HKEY_CURRENT_USER_ROOT, kProgramKey, "Interface", port);
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

int RunCheck(bool json) {
    if (Schnittstelle_initialisieren(hMainWnd, nInterface, 1) == 0) {
        if (json) {
            PrintJson({{"connected", false},
                       {"port", nullptr},
                       {"areas", nlohmann::json::array()},
                       {"agree", false}});
        }
        return kExitNoConnection;
    }
    ConnectionLease lease;
    if (!lease.Acquired()) {
        return kExitFailure;
    }
    nlohmann::json areas = nlohmann::json::array();
    int agreeing = 0;
    for (uint16_t area = 0; area < 3; ++area) {
        uint32_t start = 0;
        uint32_t end = 0;
        uint32_t saved = 0;
        uint32_t calculated = 0;
        if (pProtokoll->GetCheckSum(area, start, end, saved, calculated) == 0) {
            areas.push_back({{"area", area}, {"name", kAreaJsonNames[area]}, {"answered", false}});
            if (!json) {
                std::printf("%s\n", ConsoleFormat(Cli::kAreaNoAnswer, unsigned{area},
                                                  ConsoleText(kAreaNames[area]))
                                        .c_str());
            }
            continue;
        }
        const bool agree = saved == calculated;
        agreeing += agree ? 1 : 0;
        areas.push_back({{"area", area},
                         {"name", kAreaJsonNames[area]},
                         {"answered", true},
                         {"start", start},
                         {"end", end},
                         {"saved", saved},
                         {"calculated", calculated},
                         {"agree", agree}});
        if (json) {
            continue;
        }
        std::printf("%s\n",
                    ConsoleFormat(Cli::kAreaReport, unsigned{area}, ConsoleText(kAreaNames[area]),
                                  start, end, saved, calculated,
                                  ConsoleText(agree ? Cli::kAreaAgree : Cli::kAreaDiffer))
                        .c_str());
    }
    if (json) {
        PrintJson({{"connected", true},
                   {"port", "COM" + std::to_string(nInterface)},
                   {"areas", areas},
                   {"agree", agreeing == 3}});
    }
    std::fflush(stdout);
    pProtokoll.reset();
    return agreeing == 3 ? kExitSuccess : kExitUpdateFailed;
}
