#include <cstdio>

#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_policy.h"
#include "protocol/connection.h"
#include "support/globals.h"
#include "support/settings.h"
#include "update/machine_info.h"
#include "update/raw_download.h"
#include "update/software_update.h"

int RunUpdate() {
    ClearTransferStop();
    UpdateReport report;
    const UpdateOutcome outcome = PerformSoftwareUpdate(hMainWnd, report);
    MachineReleased();
    // A Ctrl-C that came too late to stop anything leaves a finished update finished.
    if (Interrupted() && outcome != UpdateOutcome::Succeeded) {
        std::fprintf(stderr, "tq8flash: interrupted\n");
        return kExitInterrupted;
    }
    return ExitCodeFor(outcome);
}

bool PrintAboutText() {
    char text[1024] = "";
    BuildAboutText(hMainWnd, text, sizeof text);
    std::printf("%s\n\n%s", TerminalText(LoadText(2401)).c_str(), TerminalText(text).c_str());
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
