// tq8flash check: the machine's checksums of bootloader, application and display texts.

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/json_out.h"
#include "protocol/connection.h"
#include "support/globals.h"
#include "update/exit_codes.h"

namespace {

constexpr Cli kAreaNames[] = {Cli::kAreaBootloader, Cli::kAreaApplication, Cli::kAreaTexts};
// Documents keep one spelling, whatever the run's language.
constexpr const char* kAreaJsonNames[] = {"bootloader", "application", "display texts"};

// 0 only when saved and calculated agree in all three.
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

class CheckCommand : public Command {
  public:
    CheckCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, "check",
                  "Ask the machine's checksums of bootloader, application and display texts") {
        AddRunOptions(App(), options);
        AddJsonOption(App(), json_, "the three areas as one JSON document on stdout");
    }

    bool Json() const override { return json_; }
    int Run(ConsoleSession&, const RunOptions&) override { return RunCheck(json_); }

  private:
    bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> AddCheckCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<CheckCommand>(app, options);
}
