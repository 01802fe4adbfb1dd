// tq8flash update: one machine, or several at once (line/).

#include <cstdio>
#include <string>

#include "cli/bundle_text.h"
#include "cli/commands.h"
#include "cli/console_session.h"
#include "cli/console_text.h"
#include "cli/interrupt_policy.h"
#include "cli/json_out.h"
#include "cli/line/line_child.h"
#include "cli/line/line_pipe.h"
#include "cli/line/line_update.h"
#include "cli/line/update_events.h"
#include "cli/ports/ports.h"
#include "cli/record_forward.h"
#include "platform/interrupt.h"
#include "platform/serial.h"
#include "protocol/connection.h"
#include "record/record_context.h"
#include "record/record_file.h"
#include "record/record_line.h"
#include "support/globals.h"
#include "support/settings.h"
#include "text_ids.h"
#include "update/exit_codes.h"
#include "update/machine_info.h"
#include "update/software_update.h"

int RunUpdate(ConsoleSession& session, const UpdateOptions& options) {
    const int portAtStart = nInterface;
    const UpdateStopwatch stopwatch(portAtStart);
    UpdateReport ownReport;
    UpdateReport& report = options.report != nullptr ? *options.report : ownReport;
    UpdateEvents events(report);
    if (options.json) {
        session.progressListener = &events;
    }
    UpdateRunOptions run;
    run.confirmed = [&session] { UpdateConfirmed(session); };
    run.bundleChecked = [&session](const bundle::BundleCheck& check) {
        std::fputs(BundleStateText(check, szProgramDirectory).c_str(), session.PersonOut());
        std::fflush(session.PersonOut());
    };
    run.checkBundle = options.checkBundle;
    run.downgradeReason = options.downgradeReason;
    // A line's child hands its record to its parent; when the parent has gone, the
    // record file keeps it.
    const bool toParent = options.json && !options.recordToFile;
    const std::unique_ptr<EarlyServerConnection> early =
        options.keepRecord && !toParent ? OpenServerEarly(options.recordServer) : nullptr;
    const UpdateOutcome outcome = PerformSoftwareUpdate(hMainWnd, report, run);
    session.progressListener = nullptr;
    MachineReleased(session);
    // A Ctrl-C that came too late to stop anything leaves a finished update finished;
    // one before the download ends the update at its next question, which the record
    // tells as the interruption it was, not as a No.
    const bool interrupted = platform::StopRequested() && outcome != UpdateOutcome::Succeeded;
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
        if (!(toParent && PrintJsonLine(line))) {
            const KeptRecord kept = KeepRecord(options.record, line);
            recordPath = kept.path;
            recordError = kept.error;
            // The record file is the journal: only what it holds goes on to the server.
            if (kept.error.empty()) {
                ForwardOutbox(options.recordServer, kept.path, early.get());
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

namespace {

// The parent of several machines speaks the run's language; each child applies the rest of
// the run options itself.
int RunLineUpdate(ConsoleSession& session, const RunOptions& options, const UpdateOptions& update,
                  bool allPorts) {
    LineOptions line{
        {options}, update.record, update.recordServer, update.json, update.downgradeReason};
    if (allPorts) {
        line.ports = platform::ConfiguredSerialPorts();
    }
    if (line.ports.empty()) {
        std::fprintf(stderr, "%s", ConsoleText(Cli::kLineNoPorts));
        return kExitUsage;
    }
    session.jsonOutput = update.json;
    if (options.yes && options.no) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kYesAndNo));
        return kExitUsage;
    }
    return RunLine(line);
}

class UpdateCommand : public Command {
  public:
    UpdateCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, line_pipe::kCommand,
                  "Update the machine with the firmware bundle of --dir: asks, shows the "
                  "versions, downloads program and texts, checks the checksums") {
        CLI::App& app = App();
        AddRunOptions(app, options);
        AddDirOption(app, options);
        AddRecordOption(app, update_.record);
        app.add_option("--record-server", update_.recordServer,
                       "the record server for this run, a postgresql:// URL without a password "
                       "(default: the RecordServer setting)")
            ->type_name("URL");
        AddJsonOption(app, update_.json,
                      "progress events as JSON lines on stdout, then the update's record");
        app.add_flag("--all-ports", allPorts_,
                     "update the machines on every COMn of the settings' [Ports] section at "
                     "once");
        app.add_flag("--allow-downgrade", allowDowngrade_,
                     "allow a file version older than the machine's for this run, although "
                     "the RefuseDowngrade setting refuses it; needs --reason");
        app.add_option("--reason", reason_, "why the older version is allowed (kept in the record)")
            ->type_name("TEXT")
            ->needs("--allow-downgrade");
        // Internal: the child of an update of several machines (line/line_child.cpp).
        app.add_flag(line_pipe::kChildFlag, lineChild_)->group("");
    }

    RunSetup Setup(const RunOptions& options) const override {
        return SeveralMachines(options) ? RunSetup::Language : RunSetup::Machine;
    }
    bool Json() const override { return update_.json || lineChild_; }

    int Run(ConsoleSession& session, const RunOptions& options) override {
        if (allowDowngrade_ && reason_.empty()) {
            std::fprintf(stderr, "%s\n", ConsoleText(Cli::kUpdateDowngradeNeedsReason));
            return kExitUsage;
        }
        if (allowDowngrade_) {
            update_.downgradeReason = reason_;
        }
        if (!ServerOptionAllowed(update_.recordServer)) {
            return kExitUsage;
        }
        if (SeveralMachines(options)) {
            return RunLineUpdate(session, options, update_, allPorts_);
        }
        NoteAdapterLatency();
        update_.port = options.PortGiven();
        return lineChild_ ? RunLineChild(session, update_) : RunUpdate(session, update_);
    }

  private:
    bool SeveralMachines(const RunOptions& options) const {
        return !lineChild_ && (allPorts_ || options.ports.size() > 1);
    }

    UpdateOptions update_;
    bool allowDowngrade_ = false;
    std::string reason_;
    bool allPorts_ = false;
    bool lineChild_ = false;
};

}  // namespace

std::unique_ptr<Command> AddUpdateCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<UpdateCommand>(app, options);
}
