#pragma once
// The tq8flash commands, each in its own file with its subcommand, options and runner, and
// the runners that one command lends another. Each runner returns the program's exit code
// (update/exit_codes.h) and leaves no connection behind.

#include <memory>
#include <optional>
#include <string>

#include "cli/command.h"

class ConsoleSession;

// The commands in the order of --help.
std::unique_ptr<Command> AddUpdateCommand(CLI::App& app, RunOptions& options);
std::unique_ptr<Command> AddSearchCommand(CLI::App& app, RunOptions& options);
std::unique_ptr<Command> AddInfoCommand(CLI::App& app, RunOptions& options);
std::unique_ptr<Command> AddSysinfoCommand(CLI::App& app, RunOptions& options);
std::unique_ptr<Command> AddCheckCommand(CLI::App& app, RunOptions& options);
std::unique_ptr<Command> AddPortsCommand(CLI::App& app, RunOptions& options);
std::unique_ptr<Command> AddDemoCommand(CLI::App& app, RunOptions& options);
std::unique_ptr<Command> AddInspectCommand(CLI::App& app, RunOptions& options);
std::unique_ptr<Command> AddLogCommand(CLI::App& app);
std::unique_ptr<Command> AddBundleCommand(CLI::App& app, RunOptions& options);

struct UpdateOptions {
    std::string record;        // the record file; "" for the setting or the default
    std::string recordServer;  // --record-server; "" for the RecordServer setting
    std::string port;          // --port as given, for the record's port
    bool json = false;         // progress events and the record as JSON lines on stdout
    bool keepRecord = true;
    bool recordToFile = true;  // false: the record goes to stdout only (a line's child)
    struct UpdateReport* report = nullptr;       // where the report is kept, for a watcher; or none
    bool checkBundle = true;                     // false only for the demo's simulated machine
    std::optional<std::string> downgradeReason;  // --allow-downgrade --reason TEXT
};

// One complete update with the bundle in szProgramDirectory. Every update that reached
// the connection step appends its record to the record file.
int RunUpdate(ConsoleSession& session, const UpdateOptions& options);

// The About text and the system-information text as JSON documents (cmd_info_json.cpp).
int RunInfoJson();
int RunSysinfoJson();

struct DemoOptions {
    std::string dir;  // the bundle; "" looks for the sample firmware
    bool pace = false;
};

// Whether this build has the simulated machine; the demo's help line; and a complete update of the
// sample firmware on a simulated machine, then its About text; where the simulated machine is not
// built, a message.
bool DemoAvailable();
const char* DemoDescription();
int RunDemo(ConsoleSession& session, const DemoOptions& options);

// Prints the About text of the current connection (opening one on the selected port
// when none exists); true when a machine answered.
bool PrintAboutText();
