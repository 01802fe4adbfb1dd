#pragma once
// The Windows program's record of each update, in the same file and form as tq8flash's.

#include "record/record_context.h"
#include "update/update_report.h"

// Appends the update's record (none when the update ended before the connection step) to
// the file of the RecordFile setting, else the default. A record that cannot be written
// is traced; nothing is shown and nothing else changes.
void KeepUpdateRecord(const UpdateReport& report, const UpdateStopwatch& stopwatch);
