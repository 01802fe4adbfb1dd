#pragma once
// Reading the record file back: each line a record, or a problem with its line number.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LogEntry {
    int line = 0;     // 1 for the file's first line
    std::string raw;  // the line as it stands in the file
    std::string time;
    std::optional<uint32_t> serialNumber;
    std::string machineVersionBefore;  // "" when the record has none
    std::string fileVersion;
    std::string outcome;
};

struct LogProblem {
    enum class Kind { NotJson, NotRecord };
    int line = 0;
    Kind kind = Kind::NotJson;
};

struct RecordLog {
    std::vector<LogEntry> entries;  // in file order
    std::vector<LogProblem> problems;
};

// Every line of the text that parses as a record object becomes an entry; any other
// non-empty line becomes a problem and is skipped. serial: keep only the records of
// that serial number.
RecordLog ParseRecordLog(const std::string& text, std::optional<uint32_t> serial);
