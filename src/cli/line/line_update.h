#pragma once
// tq8flash update with several --port: every machine at once, one child process each
// (line_child.cpp), one confirmation, one display, one writer of the record file.

#include <optional>
#include <string>

#include "cli/run_options.h"

// The run's options as given: every port is a machine, which its child resolves itself,
// and the rest goes to each child as it came.
struct LineOptions : RunOptions {
    std::string record;
    std::string recordServer;  // "" for the RecordServer setting
    bool json = false;         // the children's lines on stdout, each with its "port"
    std::optional<std::string> downgradeReason;  // --allow-downgrade --reason, for every child
};

int RunLine(const LineOptions& options);
