#pragma once
// Reading the record file back as a stream: each line a record, or a problem with its line
// number. Memory stays bounded by one line, whatever the file holds.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct LogEntry {
    int line = 0;     // 1 for the file's first line
    std::string raw;  // the line as it stands in the file
    std::string time;
    std::optional<uint32_t> serialNumber;
    std::string machineVersionBefore;  // "" when the record has none
    std::string fileVersion;
    std::string outcome;
    // What the record server files it under.
    std::string id;  // "" when the record has none
    std::string host;
    std::optional<int64_t> exitCode;
    bool holdsNul = false;  // a \u0000 escape, which the server's JSON cannot keep
};

struct LogProblem {
    enum class Kind { NotJson, NotRecord, TooLong };
    int line = 0;
    Kind kind = Kind::NotJson;
};

// A record is a few KiB; a line far longer is no record, and is skipped without being held.
inline constexpr size_t kMaxRecordLine = 64 * 1024;

// The serial number as the record holds it (its 16 bits, unsigned) from either form an
// operator may know: the About box shows it signed (-1234 for 64302).
uint16_t StoredSerialNumber(int32_t number);

// Takes the file's bytes in pieces of any size. Every line that parses as a record object
// goes to entry; any other non-empty line goes to problem, and is skipped. serial: only
// the records of that serial number are handed on.
class RecordLogReader {
  public:
    RecordLogReader(std::optional<uint16_t> serial, std::function<void(LogEntry)> entry,
                    std::function<void(const LogProblem&)> problem);

    void Take(std::string_view bytes);
    // The file's end: its last line, when that has no line end.
    void End();

  private:
    void Line(std::string_view line);

    std::optional<uint16_t> serial_;
    std::function<void(LogEntry)> entry_;
    std::function<void(const LogProblem&)> problem_;
    std::string pending_;
    bool overlong_ = false;
    int number_ = 0;
};
