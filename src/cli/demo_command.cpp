// tq8flash demo: its subcommand and options, in every build. The runner is cmd_demo.cpp
// where the simulated machine is built, else cmd_demo_unavailable.cpp.

#include "cli/commands.h"

namespace {

class DemoCommand : public Command {
  public:
    DemoCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, "demo", DemoDescription()) {
        AddRunOptions(App(), options);
        App()
            .add_option("--dir", demo_.dir,
                        "the bundle (default: $TQ8_EXAMPLES, the installed sample, the sample "
                        "of the source tree)")
            ->type_name("DIR");
        App().add_flag("--pace", demo_.pace, "let every byte take its time at the line rate");
    }

    // The simulated machine is the demo's own port.
    bool TakesUnconfiguredAdapter() const override { return false; }
    std::optional<int> PortToExplain(int) const override { return std::nullopt; }
    int Run(ConsoleSession& session, const RunOptions&) override { return RunDemo(session, demo_); }

  private:
    DemoOptions demo_;
};

}  // namespace

std::unique_ptr<Command> AddDemoCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<DemoCommand>(app, options);
}
