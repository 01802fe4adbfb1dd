#pragma once
// Where the update records go, and how one is added: a whole line or nothing.

#include <string>

// The record file when neither --record nor the RecordFile setting names one:
// Ostrelwerk/TQ8Flash/updates.jsonl in the user's data folder; "" when there is none.
std::string DefaultRecordPath();

// The record file of this run: the option when given, else the RecordFile setting,
// else the default.
std::string RecordPath(const std::string& option);

// Appends the line (its end is added here) to the file, creating its folder. False with
// the system's reason in error when it could not be written whole and flushed.
bool AppendRecord(const std::string& path, const std::string& line, std::string& error);

// Where a record went.
struct KeptRecord {
    std::string path;   // the record file of the run; "" when there is none
    std::string error;  // why the line is not in it; "" when it was written whole
};

// Keeps one record, as tq8flash, the parent of a line and the Windows program all do: the
// line is appended to the record file of RecordPath(option). What to say of a failure is
// the caller's.
KeptRecord KeepRecord(const std::string& option, const std::string& line);
