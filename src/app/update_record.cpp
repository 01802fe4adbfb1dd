#include "app/update_record.h"

#include <string>

#include "record/record_file.h"
#include "record/record_line.h"
#include "support/trace.h"
#include "update/exit_codes.h"

void KeepUpdateRecord(const UpdateReport& report, const UpdateStopwatch& stopwatch) {
    if (!HasRecord(report.outcome)) {
        return;
    }
    // The exit code is the one tq8flash gives for the same outcome, so that both
    // programs' records read alike.
    const std::string line = RecordLine(
        report, stopwatch.Context("TQ8Flash.exe", TQ8_VERSION, ExitCodeFor(report.outcome)));
    const KeptRecord kept = KeepRecord("", line);
    if (!kept.error.empty()) {
        TraceFile(2, "{cr}KeepUpdateRecord: %s: %s", kept.path.c_str(), kept.error.c_str());
    }
}
