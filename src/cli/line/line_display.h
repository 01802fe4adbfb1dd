#pragma once
// What the operator sees of a line update: the table to confirm, one line per machine
// while it runs, and the summary.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/line/line_machine.h"

// Port, serial number, machine version and file version of each machine.
std::string ConfirmTable(const std::vector<LineMachine>& machines);

// Each machine's outcome and time, what the failed ones said, and which did not complete.
std::string SummaryTable(const std::vector<LineMachine>& machines);

// On a terminal the machines' lines are redrawn in place; otherwise a machine's line is
// printed, prefixed with its port, when its phase or a quarter of its download changes.
class LiveDisplay {
  public:
    LiveDisplay(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}
    void Draw(const std::vector<LineMachine>& machines, uint32_t nowMs);

  private:
    std::FILE* out_;
    bool terminal_;
    size_t drawn_ = 0;
    std::vector<std::string> printed_;
};
