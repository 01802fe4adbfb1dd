// tq8flash log: the newest update records, as a table or as their lines. A line that is
// no record is named on stderr and skipped; it never stops the listing. The file is read
// as a stream and only the records to be shown are kept, so its size does not matter.

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_text.h"
#include "platform/file_io.h"
#include "record/record_file.h"
#include "record/record_log.h"
#include "update/exit_codes.h"

namespace {

struct LogOptions {
    std::string record;             // the record file; "" for the setting or the default
    std::optional<int32_t> serial;  // only the records of this serial number, either form
    int last = 20;                  // how many of the newest records
    bool json = false;              // the records' lines as they are
};

// The record's outcome words, in the order of the log_outcomes text.
constexpr std::array kOutcomes = {
    "completed",       "declined",    "no_connection", "file_error",     "download_failed",
    "checksum_failed", "interrupted", "refused",       "bundle_refused", "downgrade_refused"};

// A shared record file is written by others: none of its bytes may steer the terminal.
// Control characters (C0, DEL, and C1 in UTF-8) are shown as escapes.
std::string Shown(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char escape[8];
        if (byte < 0x20 || byte == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        } else if (byte == 0xC2 && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(text[++i]));
            out += escape;
        } else {
            out += text[i];
        }
    }
    return out.empty() ? "-" : out;
}

// The line as JSON that means the same: the parser has refused raw C0 controls, so only
// DEL and C1 characters, which can stand only inside strings, need their escapes.
std::string ShownJson(const std::string& line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        char escape[8];
        if (byte == 0x7F) {
            out += "\\u007f";
        } else if (byte == 0xC2 && i + 1 < line.size() &&
                   (static_cast<unsigned char>(line[i + 1]) & 0xE0) == 0x80) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(line[++i]));
            out += escape;
        } else {
            out += line[i];
        }
    }
    return out;
}

std::string OutcomeShown(const std::string& outcome) {
    const std::vector<std::string> words = ConsoleColumns(Cli::kLogOutcomes);
    for (size_t i = 0; i < kOutcomes.size() && i < words.size(); ++i) {
        if (outcome == kOutcomes[i]) {
            return words[i];
        }
    }
    return Shown(outcome);
}

void PrintEntry(const LogEntry& entry, bool json) {
    if (json) {
        std::printf("%s\n", ShownJson(entry.raw).c_str());
        return;
    }
    const std::string serial =
        entry.serialNumber ? std::to_string(*entry.serialNumber) : std::string("-");
    std::printf("%-20s  %-13s  %-9s  %-9s  %s\n", Shown(entry.time).c_str(), serial.c_str(),
                Shown(entry.machineVersionBefore).c_str(), Shown(entry.fileVersion).c_str(),
                OutcomeShown(entry.outcome).c_str());
}

std::string Reason(LogProblem::Kind kind) {
    switch (kind) {
        case LogProblem::Kind::NotJson:
            return ConsoleText(Cli::kLogNotJson);
        case LogProblem::Kind::NotRecord:
            return ConsoleText(Cli::kLogNotRecord);
        case LogProblem::Kind::TooLong:
            break;
    }
    return ConsoleFormat(Cli::kLogTooLong, static_cast<int>(kMaxRecordLine));
}

// The newest records of the record file as a table, or as their JSON lines.
int RunLog(const LogOptions& options) {
    const std::string path = RecordPath(options.record);
    const size_t keep = static_cast<size_t>(options.last > 0 ? options.last : 0);
    // The heading comes with the first record, or after a read that found none.
    bool headed = options.json;
    const auto head = [&] {
        if (!headed) {
            const std::vector<std::string> heading = ConsoleColumns(Cli::kLogColumns);
            std::printf("%-20s  %-13s  %-9s  %-9s  %s\n", heading[0].c_str(), heading[1].c_str(),
                        heading[2].c_str(), heading[3].c_str(), heading[4].c_str());
            headed = true;
        }
    };
    std::deque<LogEntry> newest;
    std::optional<uint16_t> serial;
    if (options.serial) {
        serial = StoredSerialNumber(*options.serial);
    }
    RecordLogReader reader(
        serial,
        [&](LogEntry entry) {
            // All of them (-n 0) go out as they come; otherwise only the newest wait.
            if (keep == 0) {
                head();
                PrintEntry(entry, options.json);
                return;
            }
            newest.push_back(std::move(entry));
            if (newest.size() > keep) {
                newest.pop_front();
            }
        },
        [&](const LogProblem& problem) {
            std::fprintf(stderr, "%s\n",
                         ConsoleFormat(Cli::kLogSkipped, path.c_str(), problem.line,
                                       Reason(problem.kind).c_str())
                             .c_str());
        });
    const platform::ReadResult result =
        platform::ReadFileInPieces(path, [&](std::string_view bytes) {
            reader.Take(bytes);
            return true;
        });
    switch (result) {
        case platform::ReadResult::Ok:
            break;
        case platform::ReadResult::Missing:
            std::fprintf(stderr, "%s\n", ConsoleFormat(Cli::kLogNone, path.c_str()).c_str());
            return kExitSuccess;
        case platform::ReadResult::NotRegularFile:
            std::fprintf(stderr, "%s\n",
                         ConsoleFormat(Cli::kLogNotRegularFile, path.c_str()).c_str());
            return kExitFailure;
        case platform::ReadResult::Error:
            std::fprintf(stderr, "%s\n", ConsoleFormat(Cli::kLogUnreadable, path.c_str()).c_str());
            return kExitFailure;
    }
    reader.End();
    head();
    for (const LogEntry& entry : newest) {
        PrintEntry(entry, options.json);
    }
    std::fflush(stdout);
    return kExitSuccess;
}

class LogCommand : public Command {
  public:
    explicit LogCommand(CLI::App& parent)
        : Command(parent, "log",
                  "Show the newest update records: time, serial number, versions, outcome") {
        AddRecordOption(App(), log_.record);
        AddJsonOption(App(), log_.json, "the records' JSON lines as they are");
        App()
            .add_option("--serial", log_.serial,
                        "only the records of this serial number, as stored (0 to 65535) or as "
                        "the About text shows it (-32768 to 32767)")
            ->check(CLI::Range(-32768, 65535))
            ->type_name("N");
        App()
            .add_option("-n,--last", log_.last, "how many of the newest records (0: all)")
            ->check(CLI::NonNegativeNumber)
            ->type_name("N");
    }

    // The record file alone, in the locale's language.
    RunSetup Setup(const RunOptions&) const override { return RunSetup::None; }
    int Run(ConsoleSession&, const RunOptions&) override { return RunLog(log_); }

  private:
    LogOptions log_;
};

}  // namespace

std::unique_ptr<Command> AddLogCommand(CLI::App& app) {
    return std::make_unique<LogCommand>(app);
}
