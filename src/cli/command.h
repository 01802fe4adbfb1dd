#pragma once
// One tq8flash command: the subcommand it declares, with its options, and its runner.
// main() builds the app from them, applies the run options as the command needs them and
// runs the one that was given.

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/run_options.h"

// How much of the run options a command takes before its runner.
enum class RunSetup {
    None,      // nothing: the command reads none of them
    Language,  // --lang only: the command works without the machine's port
    Machine,   // all of them, with the port, the interrupt policy and the JSON output
};

class Command {
  public:
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    CLI::App& App() const { return *app_; }

    virtual RunSetup Setup(const RunOptions& /*options*/) const { return RunSetup::Machine; }
    // Whether stdout carries only the command's JSON; the person's texts go to stderr.
    virtual bool Json() const { return false; }
    // Whether, without --port, the one USB adapter is taken as COM1 when no port is set up.
    virtual bool TakesUnconfiguredAdapter() const { return true; }
    // Whether a port named with --port may become the station's selected interface;
    // otherwise what the run stores there is for this run only.
    virtual bool StoresPortGiven() const { return false; }
    // Whose failure to open is explained when no machine answered: the port selected
    // before the run (0 for every port of the search), or none.
    virtual std::optional<int> PortToExplain(int selected) const { return selected; }

    // Runs the command once its setup is applied; returns the exit code (update/exit_codes.h).
    virtual int Run(ConsoleSession& session, const RunOptions& options) = 0;

  protected:
    Command(CLI::App& parent, const char* name, const std::string& description)
        : app_(parent.add_subcommand(name, description)) {}

  private:
    CLI::App* app_;
};

// The options every command takes; given before or after the command name.
void AddRunOptions(CLI::App& app, RunOptions& options);
void AddLanguageOption(CLI::App& app, RunOptions& options);
void AddDirOption(CLI::App& app, RunOptions& options);
void AddJsonOption(CLI::App& app, bool& json, const char* what);
void AddRecordOption(CLI::App& app, std::string& record);

// The commands, each with its subcommand added to app, in the order of --help.
std::vector<std::unique_ptr<Command>> AddCommands(CLI::App& app, RunOptions& options);
