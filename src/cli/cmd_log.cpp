// tq8flash log: the newest update records, as a table or as their lines. A line that is
// no record is named on stderr and skipped; it never stops the listing.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "platform/file_io.h"
#include "record/record_file.h"
#include "record/record_log.h"

namespace {

const char* OrDash(const std::string& text) {
    return text.empty() ? "-" : text.c_str();
}

}  // namespace

int RunLog(const LogOptions& options) {
    const std::string path = RecordPath(options.record);
    std::string text;
    switch (platform::ReadWholeFile(path, text)) {
        case platform::ReadResult::Ok:
            break;
        case platform::ReadResult::Missing:
            std::fprintf(stderr, "%s\n", ConsoleFormat(Cli::kLogNone, path.c_str()).c_str());
            return kExitSuccess;
        case platform::ReadResult::Error:
            std::fprintf(stderr, "%s\n", ConsoleFormat(Cli::kLogUnreadable, path.c_str()).c_str());
            return kExitFailure;
    }
    const RecordLog log = ParseRecordLog(text, options.serial);
    for (const LogProblem& problem : log.problems) {
        const char* reason = ConsoleText(
            problem.kind == LogProblem::Kind::NotJson ? Cli::kLogNotJson : Cli::kLogNotRecord);
        std::fprintf(stderr, "%s\n",
                     ConsoleFormat(Cli::kLogSkipped, path.c_str(), problem.line, reason).c_str());
    }
    const size_t count = log.entries.size();
    const size_t first = options.last > 0 && count > static_cast<size_t>(options.last)
                             ? count - static_cast<size_t>(options.last)
                             : 0;
    if (!options.json) {
        const std::vector<std::string> heading = ConsoleColumns(Cli::kLogColumns);
        std::printf("%-20s  %-13s  %-9s  %-9s  %s\n", heading[0].c_str(), heading[1].c_str(),
                    heading[2].c_str(), heading[3].c_str(), heading[4].c_str());
    }
    for (size_t i = first; i < count; ++i) {
        const LogEntry& entry = log.entries[i];
        if (options.json) {
            std::printf("%s\n", entry.raw.c_str());
            continue;
        }
        const std::string serial =
            entry.serialNumber ? std::to_string(*entry.serialNumber) : std::string("-");
        std::printf("%-20s  %-13s  %-9s  %-9s  %s\n", OrDash(entry.time), serial.c_str(),
                    OrDash(entry.machineVersionBefore), OrDash(entry.fileVersion),
                    OrDash(entry.outcome));
    }
    std::fflush(stdout);
    return kExitSuccess;
}
