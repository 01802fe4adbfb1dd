#include "app/update_record.h"

#include <string>

#include "cli/exit_codes.h"
#include "record/record_file.h"
#include "record/record_line.h"
#include "support/trace.h"

void KeepUpdateRecord(const UpdateReport& report, const UpdateStopwatch& stopwatch) {
    if (!HasRecord(report.outcome)) {
        return;
    }
    // The exit code is the one tq8flash gives for the same outcome, so that both
    // programs' records read alike.
    const std::string line = RecordLine(
        report, stopwatch.Context("TQ8Flash.exe", TQ8_VERSION, ExitCodeFor(report.outcome)));
    const std::string path = RecordPath("");
    std::string error;
    if (!AppendRecord(path, line, error)) {
        TraceFile(2, "{cr}KeepUpdateRecord: %s: %s", path.c_str(), error.c_str());
    }
}
