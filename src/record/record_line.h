#pragma once
// An update's record: the report of the update procedure and what the program knows
// around it, as one line of JSON (docs/update-record.schema.json).

#include <chrono>
#include <optional>
#include <string>

#include "update/update_report.h"

inline constexpr int kRecordSchema = 1;

struct RecordContext {
    std::chrono::system_clock::time_point start;
    double seconds = 0;
    std::string host;
    std::string user;
    std::string program;  // "tq8flash" or "TQ8Flash.exe"
    std::string version;
    std::optional<std::string> port;    // "COM3"
    std::optional<std::string> device;  // its stable name where one exists, else its path
    int exitCode = 0;
};

// Whether the update reached the connection step, so that it has a record.
bool HasRecord(UpdateOutcome outcome);

// The record's words for an outcome ("completed", "download_failed", ...).
const char* OutcomeName(UpdateOutcome outcome);

// The record as one line of JSON, without a line end.
std::string RecordLine(const UpdateReport& report, const RecordContext& context);

// A firmware bundle's check as the record's "bundle" object, one JSON text, for the
// commands that show it.
std::string BundleObject(const bundle::BundleCheck& check);
