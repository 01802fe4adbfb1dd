#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_policy.h"
#include "cli/json_out.h"
#include "cli/line/update_events.h"
#include "protocol/connection.h"
#include "record/record_context.h"
#include "record/record_file.h"
#include "record/record_line.h"
#include "support/globals.h"
#include "support/settings.h"
#include "text_ids.h"
#include "update/machine_info.h"
#include "update/raw_download.h"
#include "update/software_update.h"

int RunUpdate(const UpdateOptions& options) {
    ClearTransferStop();
    const int portAtStart = nInterface;
    const UpdateStopwatch stopwatch(portAtStart);
    UpdateReport ownReport;
    UpdateReport& report = options.report != nullptr ? *options.report : ownReport;
    UpdateEvents events(report);
    if (options.json) {
        ConsoleSetProgressListener(&events);
    }
    const UpdateOutcome outcome = PerformSoftwareUpdate(hMainWnd, report);
    ConsoleSetProgressListener(nullptr);
    MachineReleased();
    // A Ctrl-C that came too late to stop anything leaves a finished update finished;
    // one before the download ends the update at its next question, which the record
    // tells as the interruption it was, not as a No.
    const bool interrupted = Interrupted() && outcome != UpdateOutcome::Succeeded;
    if (interrupted) {
        report.outcome = UpdateOutcome::Interrupted;
    }
    const int code = interrupted ? kExitInterrupted : ExitCodeFor(outcome);

    std::string recordError;
    std::string recordPath;
    if (options.keepRecord && HasRecord(outcome)) {
        RecordContext context = stopwatch.Context("tq8flash", TQ8_VERSION, code);
        // The port as the operator named it (a device, a selector, a URL), unless the
        // interface selection chose another.
        if (!options.port.empty() && nInterface == portAtStart) {
            context.port = options.port;
        }
        const std::string line = RecordLine(report, context);
        // A line's child hands its record to its parent; when the parent has gone, the
        // record file keeps it.
        const bool toParent = options.json && !options.recordToFile;
        if (!(toParent && PrintJsonLine(line))) {
            recordPath = RecordPath(options.record);
            if (recordPath.empty()) {
                recordError = ConsoleText(Cli::kRecordNoFolder);
            } else if (!AppendRecord(recordPath, line, recordError) && recordError.empty()) {
                recordError = ConsoleText(Cli::kRecordUnknownError);
            }
        }
        if (options.json && !toParent) {
            PrintJsonLine(line);
        }
    }
    // Said last, where it is seen; the update's own outcome and exit code stay.
    if (!recordError.empty()) {
        std::fprintf(
            stderr, "%s\n",
            ConsoleFormat(Cli::kRecordNotWritten, recordPath.empty() ? "-" : recordPath.c_str(),
                          recordError.c_str())
                .c_str());
    }
    if (interrupted) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kInterrupted));
    }
    return code;
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
