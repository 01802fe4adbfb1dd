// The commands that ask the machine without changing it: search and check.

#include <cstdio>

#include "cli/commands.h"
#include "cli/console_interface.h"
#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "protocol/connection.h"
#include "protocol/interface_dialog.h"
#include "support/globals.h"
#include "support/settings.h"
#include "text_ids.h"

namespace {

// Shows each port as the search tries it, like the dialog's combo box.
class SearchProgress : public ConsoleInterfaceList {
  public:
    SearchProgress() : ConsoleInterfaceList(hMainWnd) {}
    bool SelectPort(const char* name) override {
        std::printf("  %s ...\n", name != nullptr ? name : "");
        std::fflush(stdout);
        return ConsoleInterfaceList::SelectPort(name);
    }
};

constexpr Cli kAreaNames[] = {Cli::kAreaBootloader, Cli::kAreaApplication, Cli::kAreaTexts};

}  // namespace

int RunSearch(bool save) {
    std::printf("%s\n", TerminalText(LoadText(kCaptionSearch)).c_str());
    SearchProgress view;
    const int port = Schnittstelle_suchen(view);
    if (port == -1) {
        std::fprintf(stderr, "%s\n", TerminalText(LoadText(kTextNotFound)).c_str());
        return kExitNoConnection;
    }
    std::printf("%s\n", TerminalText(FormatText(LoadText(kTextFound), port)).c_str());
    if (save) {
        nInterface = port;
        if (!RegWriteDword(HKEY_CURRENT_USER_ROOT, kProgramKey, "Interface", port)) {
            std::fprintf(stderr, "%s\n", ConsoleText(Cli::kPortNotStored));
            return kExitFailure;
        }
    }
    return kExitSuccess;
}

int RunCheck() {
    if (Schnittstelle_initialisieren(hMainWnd, nInterface, 1) == 0) {
        return kExitNoConnection;
    }
    ConnectionLease lease;
    if (!lease.Acquired()) {
        return kExitFailure;
    }
    int agreeing = 0;
    for (uint16_t area = 0; area < 3; ++area) {
        uint32_t start = 0;
        uint32_t end = 0;
        uint32_t saved = 0;
        uint32_t calculated = 0;
        if (pProtokoll->GetCheckSum(area, start, end, saved, calculated) == 0) {
            std::printf("%s\n", ConsoleFormat(Cli::kAreaNoAnswer, unsigned{area},
                                              ConsoleText(kAreaNames[area]))
                                    .c_str());
            continue;
        }
        const bool agree = saved == calculated;
        agreeing += agree ? 1 : 0;
        std::printf("%s\n",
                    ConsoleFormat(Cli::kAreaReport, unsigned{area}, ConsoleText(kAreaNames[area]),
                                  start, end, saved, calculated,
                                  ConsoleText(agree ? Cli::kAreaAgree : Cli::kAreaDiffer))
                        .c_str());
    }
    std::fflush(stdout);
    pProtokoll.reset();
    return agreeing == 3 ? kExitSuccess : kExitUpdateFailed;
}
