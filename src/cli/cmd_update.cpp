#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_policy.h"
#include "protocol/connection.h"
#include "support/globals.h"
#include "support/settings.h"
#include "text_ids.h"
#include "update/machine_info.h"
#include "update/raw_download.h"
#include "update/software_update.h"

int RunUpdate() {
    ClearTransferStop();
    SoftwareUpdate(hMainWnd);
    MachineReleased();
    const UpdateOutcome outcome = LastUpdateOutcome();
    // A Ctrl-C that came too late to stop anything leaves a finished update finished.
    if (Interrupted() && outcome != UpdateOutcome::Succeeded) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kInterrupted));
        return kExitInterrupted;
    }
    return ExitCodeFor(outcome);
}

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

int RunInfo() {
    const bool answered = PrintAboutText();
    pProtokoll.reset();
    return answered ? kExitSuccess : kExitNoConnection;
}

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
