// tq8flash log: the newest update records, as a table or as their lines. A line that is
// no record is named on stderr and skipped; it never stops the listing. The file is read
// as a stream and only the records to be shown are kept, so its size does not matter.
// With --server the record server answers instead of the file, with the same filters,
// output and exit codes; it also takes the table's creation and pushed record files.

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/record_forward.h"
#include "platform/file_io.h"
#include "record/record_file.h"
#include "record/record_log.h"
#include "record/record_server.h"
#include "record/utc_time.h"
#include "update/exit_codes.h"

namespace {

struct LogOptions {
    std::string record;             // the record file; "" for the setting or the default
    std::optional<int32_t> serial;  // only the records of this serial number, either form
    int last = 20;                  // how many of the newest records
    bool json = false;              // the records' lines as they are
    std::string since;              // only from this day or time on (UTC)
    std::string outcome;            // only this outcome
    std::string host;               // only the records of this computer
    // The record server: given with its URL, or "" for the RecordServer setting.
    std::optional<std::string> server;
    bool initServer = false;
    std::optional<std::string> push;  // a record file; "" for the outbox of this one's
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

// "2024-05-17" or "2024-05-17T09:41:07Z" as the records write a time; none for anything else.
std::optional<std::string> SinceTime(const std::string& text) {
    const std::string time = text.size() == 10 ? text + "T00:00:00Z" : text;
    return IsIsoUtcSeconds(time) ? std::optional(time) : std::nullopt;
}

std::string PushReason(const PushProblem& problem) {
    return problem.kind ? Reason(*problem.kind)
                        : ConsoleFormat(Cli::kPushBadField, problem.field.c_str());
}

// --push: a record file made elsewhere, or without one the outbox of this station's.
int RunPush(const LogOptions& options, const std::string& url) {
    const std::string path = options.push->empty() ? RecordPath(options.record) : *options.push;
    PushResult result;
    if (options.push->empty()) {
        const ForwardResult sent = ForwardRecords(path, url, 0);
        result = {sent.added, sent.sent - sent.added, sent.broken, sent.error};
    } else {
        result = PushRecordFile(url, path, [&path](const PushProblem& problem) {
            std::fprintf(stderr, "%s\n",
                         ConsoleFormat(Cli::kLogSkipped, path.c_str(), problem.line,
                                       PushReason(problem).c_str())
                             .c_str());
        });
    }
    if (!result.error.empty()) {
        std::fprintf(stderr, "%s\n",
                     ConsoleFormat(Cli::kPushStopped, path.c_str(),
                                   static_cast<long long>(result.added + result.present),
                                   result.error.c_str())
                         .c_str());
        return kExitFailure;
    }
    std::printf(
        "%s\n",
        ConsoleFormat(Cli::kPushDone, path.c_str(), static_cast<long long>(result.added),
                      static_cast<long long>(result.present), static_cast<long long>(result.broken))
            .c_str());
    return kExitSuccess;
}

// The record server's part: its URL checked, then the table made, a file pushed, or the
// newest records asked for and handed to take as the file's lines would be.
std::optional<int> RunServer(const LogOptions& options,
                             const std::function<void(const std::string&)>& take) {
    if (!ServerOptionAllowed(*options.server)) {
        return kExitUsage;
    }
    if (!RecordServerBuilt()) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kServerUnavailable));
        return kExitFailure;
    }
    const std::string url = RecordServerUrl(*options.server);
    if (url.empty()) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kServerNone));
        return kExitUsage;
    }
    std::string error;
    if (options.initServer) {
        error = InitRecordServer(url);
        if (error.empty()) {
            std::printf("%s\n", ConsoleText(Cli::kInitDone));
            return kExitSuccess;
        }
    } else if (options.push) {
        return RunPush(options, url);
    } else {
        ServerQuery query;
        if (options.serial) {
            query.serial = StoredSerialNumber(*options.serial);
        }
        query.since = options.since;
        query.outcome = options.outcome;
        query.host = options.host;
        query.last = static_cast<size_t>(options.last > 0 ? options.last : 0);
        error = QueryRecordServer(url, query, take);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", ConsoleFormat(Cli::kServerFailed, error.c_str()).c_str());
        return kExitFailure;
    }
    return std::nullopt;
}

// The newest records of the record file or the record server as a table, or as their
// JSON lines.
int RunLog(LogOptions options) {
    if (!options.since.empty()) {
        const std::optional<std::string> since = SinceTime(options.since);
        if (!since) {
            std::fprintf(stderr, "%s\n",
                         ConsoleFormat(Cli::kLogBadSince, options.since.c_str()).c_str());
            return kExitUsage;
        }
        options.since = *since;
    }
    if ((options.initServer || options.push) && !options.server) {
        options.server = "";
    }
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
            if (entry.time < options.since ||
                (!options.outcome.empty() && entry.outcome != options.outcome) ||
                (!options.host.empty() && entry.host != options.host)) {
                return;
            }
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
    if (options.server) {
        if (const std::optional<int> code = RunServer(options, [&reader](const std::string& line) {
                reader.Take(line);
                reader.Take("\n");
            })) {
            return *code;
        }
        head();
        for (const LogEntry& entry : newest) {
            PrintEntry(entry, options.json);
        }
        std::fflush(stdout);
        return kExitSuccess;
    }
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
        App()
            .add_option("--since", log_.since, "only the records from this day (UTC) on")
            ->type_name("DATE");
        App()
            .add_option("--outcome", log_.outcome, "only the records of this outcome")
            ->type_name("NAME");
        App()
            .add_option("--host", log_.host, "only the records of this computer")
            ->type_name("NAME");
        App()
            .add_option("--server", server_,
                        "ask the record server instead of the file: a postgresql:// URL "
                        "without a password (default: the RecordServer setting)")
            ->expected(0, 1)
            ->type_name("[URL]");
        App().add_flag("--init-server", log_.initServer,
                       "create the record server's table (docs/update-records.sql) where it "
                       "is missing");
        App()
            .add_option("--push", push_,
                        "send a record file made elsewhere to the record server; without "
                        "FILE, what the record file holds and the server lacks")
            ->expected(0, 1)
            ->type_name("[FILE]");
    }

    // The record file alone, in the locale's language.
    RunSetup Setup(const RunOptions&) const override { return RunSetup::None; }
    int Run(ConsoleSession&, const RunOptions&) override {
        if (App().count("--server") > 0) {
            log_.server = server_;
        }
        if (App().count("--push") > 0) {
            log_.push = push_;
        }
        return RunLog(log_);
    }

  private:
    LogOptions log_;
    std::string server_;
    std::string push_;
};

}  // namespace

std::unique_ptr<Command> AddLogCommand(CLI::App& app) {
    return std::make_unique<LogCommand>(app);
}
