// Builds without the simulated machine (Windows) have no demo.

#include <cstdio>

#include "cli/commands.h"
#include "cli/console_text.h"
#include "update/exit_codes.h"

bool DemoAvailable() {
    return false;
}

const char* DemoDescription() {
    return "Not available on Windows: the simulated machine runs on Linux only (there, "
           "run tq8sim and point the program at it)";
}

int RunDemo(ConsoleSession&, const DemoOptions&) {
    std::fprintf(stderr, "%s\n", ConsoleText(Cli::kDemoUnavailable));
    return kExitFailure;
}
