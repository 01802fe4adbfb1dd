// tq8flash: the command-line front end over the TQ8Flash core.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cmd_inspect.h"
#include "cli/commands.h"
#include "cli/console_frontend.h"
#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_policy.h"
#include "cli/line/line_update.h"
#include "cli/ports/ports.h"
#include "cli/run_options.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/serial.h"
#include "platform/settings_store.h"
#include "protocol/connection.h"
#include "record/record_file.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"

namespace {

// The project version, the same as in the Windows version resource and the packages.
constexpr const char* kVersion = "tq8flash " TQ8_VERSION;

std::string Footer() {
    const std::string settings = platform::SettingsFilePath();
    const std::string records = DefaultRecordPath();
    return std::string("\n") + ExitCodeHelp() + "\n" +
           (settings.empty() ? "" : UnconfiguredPortRuleHelp()) + "\nSettings are kept in " +
           (settings.empty() ? std::string("the registry (HKCU\\SOFTWARE\\Ostrelwerk\\TQ8Flash)")
                             : settings) +
           ".\nEvery update that reaches the connection step appends one JSON line to the "
           "record file: --record FILE, else the RecordFile setting, else " +
           (records.empty() ? std::string("none") : records) +
           ".\nTrace lines go to the debug-output library when it is installed beside the "
           "program.\n";
}

void AddJsonOption(CLI::App& app, bool& json, const char* what) {
    app.add_flag("--json", json, what);
}

void AddRecordOption(CLI::App& app, std::string& record) {
    app.add_option("--record", record,
                   "the file of the update records (default: the RecordFile setting, else "
                   "the user's data folder)")
        ->type_name("FILE");
}

void AddLanguageOption(CLI::App& app, RunOptions& options) {
    app.add_option("--lang", options.lang, "texts in English or German for this run")
        ->check(CLI::IsMember({"en", "de"}));
}

// The options every command takes; given before or after the command name.
void AddRunOptions(CLI::App& app, RunOptions& options) {
    app.add_option("--port", options.ports,
                   "COMn: use that port for this run; DEVICE (e.g. /dev/serial/by-id/...) or "
                   "usb:VID:PID[:SERIAL]: open it as the selected port (COM1 when none is "
                   "selected) for this run; update takes several, and updates those machines "
                   "at once")
        ->type_name("COMn|DEVICE|usb:VID:PID[:SERIAL]")
        ->allow_extra_args(false);
    app.add_flag("--yes", options.yes,
                 "answer Yes to every question (the interface "
                 "selection still needs a terminal)");
    app.add_flag("--no", options.no, "answer No to every question");
    AddLanguageOption(app, options);
    app.add_option("--trace", options.trace,
                   "trace levels for this run (2 errors .. 5 every byte), shown on stderr")
        ->check(CLI::Range(2, 5))
        ->type_name("LEVEL");
}

void AddDirOption(CLI::App& app, RunOptions& options) {
    app.add_option("--dir", options.dir,
                   "folder of TQ8-PROG.MOT, TQ8-TEXT.MOT and TQ8-CRC.INI (default: the current "
                   "directory)")
        ->type_name("DIR");
}

// The command names, in the order of --help.
std::string CommandNames(CLI::App& app) {
    std::string names;
    for (const CLI::App* command : app.get_subcommands({})) {
        names += (names.empty() ? "" : ", ") + command->get_name();
    }
    return names;
}

// A run without a command: a word that names none, an option nobody knows, or nothing.
// CLI11 alone would say "A subcommand is required" to a mistyped command name.
int CommandMissing(CLI::App& app, const RunOptions& options) {
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty() && extras.front().rfind('-', 0) == 0) {
        return app.exit(CLI::ExtrasError(extras)) == 0 ? kExitSuccess : kExitUsage;
    }
    ApplyLanguageOption(options);
    const std::string names = CommandNames(app);
    const std::string message =
        extras.empty() ? ConsoleFormat(Cli::kNoCommand, names.c_str())
                       : ConsoleFormat(Cli::kNotACommand, extras.front().c_str(), names.c_str());
    std::fprintf(stderr, "%s\n%s\n", message.c_str(), ConsoleText(Cli::kHelpHint));
    return kExitUsage;
}

int RunLineUpdate(const RunOptions& options, const UpdateOptions& update, bool allPorts) {
    // The parent speaks the run's language too; each child applies --lang itself.
    ApplyLanguageOption(options);
    LineOptions line;
    line.ports = allPorts ? platform::ConfiguredSerialPorts() : options.ports;
    if (line.ports.empty()) {
        std::fprintf(stderr, "%s", ConsoleText(Cli::kLineNoPorts));
        return kExitUsage;
    }
    line.dir = options.dir;
    line.record = update.record;
    line.lang = options.lang;
    line.trace = options.trace;
    line.yes = options.yes;
    line.no = options.no;
    line.json = update.json;
    ConsoleSetJsonOutput(update.json);
    if (options.yes && options.no) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kYesAndNo));
        return kExitUsage;
    }
    return RunLine(line);
}

// Whether this process is a line's child, known before anything can be printed.
bool StartedAsLineChild(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--line-child") {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (StartedAsLineChild(argc, argv)) {
        StartLineChildOutput();
    }
    // The trace library comes first, so that everything after it can trace.
    LoadDebugLibrary();
    platform::PrepareConsoleOutput();
    nLanguageOffset = LanguageOffsetForLcid(platform::UserDefaultLcid());
    ReadStartupSettings();

    CLI::App app{"Updates the firmware of the Kovra TQ VIII over its RS-232 bootloader.",
                 "tq8flash"};
    app.set_version_flag("--version", kVersion);
    app.footer(Footer());
    app.require_subcommand(0, 1);
    RunOptions options;
    AddRunOptions(app, options);

    CLI::App* update =
        app.add_subcommand("update",
                           "Update the machine with the firmware bundle of --dir: asks, shows the "
                           "versions, downloads program and texts, checks the checksums");
    AddRunOptions(*update, options);
    AddDirOption(*update, options);
    UpdateOptions updateOptions;
    AddRecordOption(*update, updateOptions.record);
    AddJsonOption(*update, updateOptions.json,
                  "progress events as JSON lines on stdout, then the update's record");
    bool allPorts = false;
    update->add_flag("--all-ports", allPorts,
                     "update the machines on every COMn of the settings' [Ports] section at "
                     "once");
    // Internal: the child of an update of several machines (src/cli/line_child.cpp).
    bool lineChild = false;
    update->add_flag("--line-child", lineChild)->group("");
    bool json = false;

    bool save = false;
    CLI::App* search = app.add_subcommand("search", "Search COM1..COM8 for the machine");
    AddRunOptions(*search, options);
    search->add_flag("--save", save, "store the port found as the selected interface");
    AddJsonOption(*search, json, "the result as one JSON document on stdout");

    CLI::App* info = app.add_subcommand(
        "info", "Show the versions of machine and file, serial number, updates and date");
    AddRunOptions(*info, options);
    AddDirOption(*info, options);
    AddJsonOption(*info, json, "the values as one JSON document on stdout");

    CLI::App* sysinfo =
        app.add_subcommand("sysinfo",
                           "Open the selected port and show the system-information text of that "
                           "connection (\"|\" when no machine answers)");
    AddRunOptions(*sysinfo, options);
    AddJsonOption(*sysinfo, json, "the text and its parts as one JSON document on stdout");

    CLI::App* check = app.add_subcommand(
        "check", "Ask the machine's checksums of bootloader, application and display texts");
    AddRunOptions(*check, options);
    AddJsonOption(*check, json, "the three areas as one JSON document on stdout");

    bool savePorts = false;
    CLI::App* ports = app.add_subcommand(
        "ports", "List the serial devices: names, driver, USB identity, COMn, access, holder");
    AddRunOptions(*ports, options);
    ports->add_flag("--save", savePorts,
                    "bind COM1, COM2, ... to the USB adapters listed, in the settings file");
    AddJsonOption(*ports, json, "the devices and their fields as one JSON document on stdout");

    DemoOptions demo;
    CLI::App* demoCommand = app.add_subcommand("demo", DemoDescription());
    AddRunOptions(*demoCommand, options);
    demoCommand
        ->add_option("--dir", demo.dir,
                     "the bundle (default: $TQ8_EXAMPLES, the installed sample, the sample "
                     "of the source tree)")
        ->type_name("DIR");
    demoCommand->add_flag("--pace", demo.pace, "let every byte take its time at the line rate");

    InspectOptions inspectOptions;
    CLI::App* inspect = app.add_subcommand(
        "inspect", "Show addresses, sizes, versions and the image checksum of S-record files");
    inspect->add_option("FILE", inspectOptions.files, "S-record files")->required();
    inspect
        ->add_option("-o,--output", inspectOptions.output, "write the image of the one file given")
        ->type_name("IMAGE");
    AddJsonOption(*inspect, inspectOptions.json,
                  "the files' values as one JSON document on stdout");
    AddLanguageOption(*inspect, options);

    LogOptions logOptions;
    CLI::App* log = app.add_subcommand(
        "log", "Show the newest update records: time, serial number, versions, outcome");
    AddRecordOption(*log, logOptions.record);
    AddJsonOption(*log, logOptions.json, "the records' JSON lines as they are");
    log->add_option("--serial", logOptions.serial,
                    "only the records of this serial number, as stored (0 to 65535) or as the "
                    "About text shows it (-32768 to 32767)")
        ->check(CLI::Range(-32768, 65535))
        ->type_name("N");
    log->add_option("-n,--last", logOptions.last, "how many of the newest records (0: all)")
        ->check(CLI::NonNegativeNumber)
        ->type_name("N");

    for (CLI::App* command : app.get_subcommands({})) {
        command->footer(Footer());
    }
    // Only now: subcommands copy this setting when they are made, and they take no extras.
    app.allow_extras();

    int exitCode = kExitSuccess;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        exitCode = app.exit(error);
        FreeDebugLibrary();
        return exitCode == 0 ? 0 : kExitUsage;
    }
    if (options.ports.size() == 1) {
        options.port = options.ports.front();
    }
    // The record names the port as the operator gave it, before a selector is resolved.
    const std::string portGiven = options.port;

    if (app.get_subcommands().empty() || !app.remaining().empty()) {
        exitCode = CommandMissing(app, options);
    } else if (inspect->parsed()) {
        ApplyLanguageOption(options);
        exitCode = RunInspect(inspectOptions);
    } else if (log->parsed()) {
        exitCode = RunLog(logOptions);
    } else if (update->parsed() && !lineChild && (allPorts || options.ports.size() > 1)) {
        exitCode = RunLineUpdate(options, updateOptions, allPorts);
    } else if (options.ports.size() > 1) {
        ApplyLanguageOption(options);
        std::fprintf(stderr, "%s", ConsoleText(Cli::kOnlyUpdatePorts));
        exitCode = kExitUsage;
    } else if (!ResolvePortOption(options.port) || !ApplyRunOptions(options)) {
        exitCode = kExitUsage;
    } else {
        InstallInterruptPolicy();
        ConsoleSetJsonOutput(json || updateOptions.json || lineChild);
        if (options.port.empty() && !demoCommand->parsed() && !savePorts) {
            ApplyUnconfiguredPortRule();
        }
        const int selected = nInterface;
        // A port named with --port is the run's own: the interface the run stores (an
        // update's cancelled selection stores none) does not replace the station's.
        if (!options.port.empty() && !(search->parsed() && save) && !savePorts) {
            KeepValueForThisRun("Interface");
        }
        if (update->parsed()) {
            NoteAdapterLatency();
            updateOptions.port = portGiven;
            exitCode = lineChild ? RunLineChild(updateOptions) : RunUpdate(updateOptions);
        } else if (search->parsed()) {
            exitCode = RunSearch(save, json, options.port);
        } else if (info->parsed()) {
            exitCode = json ? RunInfoJson() : RunInfo();
        } else if (sysinfo->parsed()) {
            exitCode = json ? RunSysinfoJson() : RunSysinfo();
        } else if (check->parsed()) {
            exitCode = RunCheck(json);
        } else if (ports->parsed()) {
            exitCode = RunPorts(savePorts, json);
        } else if (demoCommand->parsed()) {
            exitCode = RunDemo(demo);
        }
        if (exitCode == kExitNoConnection && !demoCommand->parsed() && !ports->parsed()) {
            ExplainPortFailure(search->parsed() ? 0 : selected);
        }
    }
    // Program end destroys the connection before the trace library goes.
    pProtokoll.reset();
    FreeDebugLibrary();
    return exitCode;
}
