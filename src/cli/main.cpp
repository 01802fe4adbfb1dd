// tq8flash: the command-line front end over the TQ8Flash core.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/console_session.h"
#include "cli/console_text.h"
#include "cli/help_footer.h"
#include "cli/interrupt_policy.h"
#include "cli/line/line_child.h"
#include "cli/line/line_pipe.h"
#include "cli/ports/ports.h"
#include "cli/run_options.h"
#include "platform/console.h"
#include "platform/process.h"
#include "protocol/connection.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"
#include "update/exit_codes.h"

namespace {

// The project version, the same as in the Windows version resource and the packages.
constexpr const char* kVersion = "tq8flash " TQ8_VERSION;

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

// Whether this process is a line's child, known before anything can be printed.
bool StartedAsLineChild(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == line_pipe::kChildFlag) {
            return true;
        }
    }
    return false;
}

// Applies as much of the run options as the command takes, runs it, and explains a port
// that could not be opened.
int RunCommand(Command& command, RunOptions& options, ConsoleSession& session) {
    switch (command.Setup(options)) {
        case RunSetup::None:
            return command.Run(session, options);
        case RunSetup::Language:
            ApplyLanguageOption(options);
            return command.Run(session, options);
        case RunSetup::Machine:
            break;
    }
    if (options.ports.size() > 1) {
        ApplyLanguageOption(options);
        std::fprintf(stderr, "%s", ConsoleText(Cli::kOnlyUpdatePorts));
        return kExitUsage;
    }
    if (!ResolvePortOption(options.port) || !ApplyRunOptions(session, options)) {
        return kExitUsage;
    }
    InstallInterruptPolicy();
    session.jsonOutput = command.Json();
    if (options.port.empty() && command.TakesUnconfiguredAdapter()) {
        ApplyUnconfiguredPortRule();
    }
    const int selected = nInterface;
    // A port named with --port is the run's own: the interface the run stores (an
    // update's cancelled selection stores none) does not replace the station's.
    if (!options.port.empty() && !command.StoresPortGiven()) {
        KeepValueForThisRun(kInterfaceValue);
    }
    const int exitCode = command.Run(session, options);
    if (exitCode == kExitNoConnection) {
        if (const std::optional<int> port = command.PortToExplain(selected)) {
            ExplainPortFailure(*port);
        }
    }
    return exitCode;
}

Command* ParsedCommand(const std::vector<std::unique_ptr<Command>>& commands) {
    for (const std::unique_ptr<Command>& command : commands) {
        if (command->App().parsed()) {
            return command.get();
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    ConsoleSession session;
    if (StartedAsLineChild(argc, argv)) {
        StartLineChildOutput(session);
    }
    // The trace library comes first, so that everything after it can trace.
    LoadDebugLibrary();
    platform::PrepareConsoleOutput();
    nLanguageOffset = LanguageOffsetForLcid(platform::UserDefaultLcid());
    ReadStartupSettings();

    CLI::App app{"Updates the firmware of the Kovra TQ VIII over its RS-232 bootloader.",
                 "tq8flash"};
    app.set_version_flag("--version", kVersion);
    app.footer(HelpFooter());
    app.require_subcommand(0, 1);
    RunOptions options;
    AddRunOptions(app, options);
    const std::vector<std::unique_ptr<Command>> commands = AddCommands(app, options);

    for (CLI::App* command : app.get_subcommands({})) {
        command->footer(HelpFooter());
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
    options.port = options.PortGiven();
    Command* command = ParsedCommand(commands);
    if (command == nullptr || !app.remaining().empty()) {
        exitCode = CommandMissing(app, options);
    } else {
        exitCode = RunCommand(*command, options, session);
    }
    // Program end destroys the connection before the trace library goes.
    pProtokoll.reset();
    FreeDebugLibrary();
    return exitCode;
}
