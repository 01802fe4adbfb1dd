#include "cli/line/line_display.h"

#include <algorithm>
#include <utility>

#include "cli/console_text.h"
#include "cli/transfer_rate.h"
#include "support/utils.h"

namespace {

using Row = std::vector<std::string>;

// Pieces joined by appending, never by a literal on the left of a string.
template <typename... Pieces>
std::string Cat(const Pieces&... pieces) {
    std::string out;
    (out.append(pieces), ...);
    return out;
}

// Each row as a line, its cells padded to their column's widest.
std::vector<std::string> TableLines(const std::vector<Row>& rows) {
    std::vector<size_t> widths;
    for (const Row& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::vector<std::string> lines;
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - row[i].size() + 2, ' ');
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string Table(const std::vector<Row>& rows) {
    std::string out;
    for (const std::string& line : TableLines(rows)) {
        out += line + "\n";
    }
    return out;
}

std::string Format(const char* format, long value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Serial(const LineMachine& machine) {
    return machine.serial ? std::to_string(*machine.serial) : "-";
}

std::string Seconds(uint32_t ms) {
    const uint32_t s = (ms + 500) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u", s / 60, s % 60);
    return text;
}

// The record's outcome and the progress events' phase in the run's language; a word of
// a newer child stays as it came.
std::string LanguageWord(const std::string& outcome) {
    static const std::pair<const char*, Cli> kWords[] = {
        {"completed", Cli::kLineOutcomeCompleted},
        {"declined", Cli::kLineOutcomeDeclined},
        {"no_connection", Cli::kLineOutcomeNoConnection},
        {"file_error", Cli::kLineOutcomeFileError},
        {"download_failed", Cli::kLineOutcomeDownloadFailed},
        {"checksum_failed", Cli::kLineOutcomeChecksumFailed},
        {"interrupted", Cli::kLineOutcomeInterrupted},
        {"refused", Cli::kLineOutcomeRefused},
        {"bundle_refused", Cli::kLineOutcomeBundleRefused},
        {"downgrade_refused", Cli::kLineOutcomeDowngradeRefused},
        {"start", Cli::kLinePhaseStart},
        {"erase", Cli::kLinePhaseErase},
        {"download", Cli::kLinePhaseDownload},
        {"other", Cli::kLinePhaseOther},
    };
    for (const auto& [word, text] : kWords) {
        if (outcome == word) {
            return ConsoleText(text);
        }
    }
    return outcome;
}

std::string Phase(const LineMachine& machine) {
    if (machine.ended) {
        if (machine.outcome) {
            return LanguageWord(*machine.outcome);
        }
        return machine.exit.signal != 0
                   ? Format(ConsoleText(Cli::kLineKilled), machine.exit.signal)
                   : Format(ConsoleText(Cli::kLineExitCode), machine.ExitCode());
    }
    if (!machine.ready) {
        return ConsoleText(Cli::kLineConnecting);
    }
    if (machine.phase.empty()) {
        return ConsoleText(Cli::kLineWaiting);
    }
    if (machine.bytes != 0 && machine.Done() >= machine.bytes) {
        return ConsoleText(Cli::kLineChecking);
    }
    return Cat(LanguageWord(machine.phase), " ", machine.image);
}

std::string Outcome(const LineMachine& machine) {
    return machine.ended ? Phase(machine) : ConsoleText(Cli::kLineNoAnswer);
}

// Port, serial number, phase, percentage, rate and time left.
Row StatusCells(const LineMachine& machine, uint32_t nowMs) {
    Row cells{machine.port, Serial(machine), Phase(machine)};
    if (machine.ended || machine.phase.empty() || machine.bytes == 0) {
        return cells;
    }
    const uint64_t done = std::min(machine.Done(), machine.bytes);
    cells.push_back(Format("%ld%%", static_cast<long>(done * 100 / machine.bytes)));
    const uint32_t elapsed = ElapsedMs(machine.rateStartMs, nowMs);
    if (machine.rateStarted && elapsed >= 1000 && done > machine.rateStartBytes) {
        const TransferRate rate =
            EstimateTransferRate(done - machine.rateStartBytes, elapsed, machine.bytes - done);
        const auto perSecond = static_cast<long>(rate.perSecond);
        cells.push_back(Format("%ld B/s", perSecond));
        if (perSecond != 0) {
            cells.push_back(Cat(Seconds(static_cast<uint32_t>(rate.secondsLeft * 1000.0)), " ",
                                ConsoleText(Cli::kLineLeft)));
        }
    }
    return cells;
}

// The machines' lines, column under column whatever the length of their ports' names.
std::vector<std::string> StatusLines(const std::vector<LineMachine>& machines, uint32_t nowMs) {
    std::vector<Row> rows;
    for (const LineMachine& machine : machines) {
        rows.push_back(StatusCells(machine, nowMs));
    }
    return TableLines(rows);
}

}  // namespace

std::string ConfirmTable(const std::vector<LineMachine>& machines) {
    std::vector<Row> rows{{ConsoleText(Cli::kLinePort), ConsoleText(Cli::kLineSerial),
                           ConsoleText(Cli::kLineMachineVersion),
                           ConsoleText(Cli::kLineFileVersion)}};
    for (const LineMachine& machine : machines) {
        if (!machine.ready) {
            rows.push_back({machine.port, ConsoleText(Cli::kLineNoAnswer), "", ""});
            continue;
        }
        rows.push_back({machine.port, Serial(machine), machine.machineVersion.value_or("-"),
                        machine.fileVersion.value_or("-")});
    }
    return Table(rows);
}

std::string SummaryTable(const std::vector<LineMachine>& machines) {
    std::vector<Row> rows{{ConsoleText(Cli::kLinePort), ConsoleText(Cli::kLineSerial),
                           ConsoleText(Cli::kLineOutcome), ConsoleText(Cli::kLineTime)}};
    std::string failed;
    std::string said;
    for (const LineMachine& machine : machines) {
        const uint32_t ms = machine.ended ? ElapsedMs(machine.startMs, machine.endMs) : 0;
        rows.push_back({machine.port, Serial(machine), Outcome(machine), Seconds(ms)});
        if (machine.Completed()) {
            continue;
        }
        failed += (failed.empty() ? "" : ", ") + machine.port;
        if (!machine.errors.empty() || machine.record.empty()) {
            said += Cat("--- ", machine.port, "\n");
            said += machine.errors;
            if (!machine.errors.empty() && machine.errors.back() != '\n') {
                said += "\n";
            }
            if (machine.record.empty()) {
                said += std::string(ConsoleText(Cli::kLineNoRecord)) + "\n";
            }
        }
    }
    std::string out = Cat("\n", Table(rows));
    char text[512];
    if (failed.empty()) {
        std::snprintf(text, sizeof text, ConsoleText(Cli::kLineAllCompleted),
                      static_cast<int>(machines.size()));
    } else {
        std::snprintf(text, sizeof text, ConsoleText(Cli::kLineFailedList), failed.c_str());
    }
    return Cat(said, out, text);
}

void LiveDisplay::Draw(const std::vector<LineMachine>& machines, uint32_t nowMs) {
    if (terminal_) {
        std::string text;
        if (drawn_ != 0) {
            text += Cat("\x1b[", std::to_string(drawn_), "F");  // back to the first line
        }
        for (const std::string& line : StatusLines(machines, nowMs)) {
            text += Cat("\x1b[2K", line, "\n");
        }
        drawn_ = machines.size();
        std::fputs(text.c_str(), out_);
        std::fflush(out_);
        return;
    }
    printed_.resize(machines.size());
    const std::vector<std::string> lines = StatusLines(machines, nowMs);
    for (size_t i = 0; i < machines.size(); ++i) {
        const LineMachine& machine = machines[i];
        std::string key = Phase(machine);
        if (!machine.ended && machine.bytes != 0 && !machine.phase.empty()) {
            key += Cat(" ",
                       std::to_string(std::min(machine.Done(), machine.bytes) * 4 / machine.bytes));
        }
        if (key != printed_[i]) {
            printed_[i] = key;
            std::fprintf(out_, "%s\n", lines[i].c_str());
        }
    }
    std::fflush(out_);
}
