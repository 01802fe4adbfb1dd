#include "record/record_log.h"

#include <nlohmann/json.hpp>
#include <utility>

namespace {

std::string StringField(const nlohmann::json& record, const char* name) {
    const auto field = record.find(name);
    return field != record.end() && field->is_string() ? field->get<std::string>() : "";
}

}  // namespace

uint16_t StoredSerialNumber(int32_t number) {
    return static_cast<uint16_t>(number);
}

RecordLogReader::RecordLogReader(std::optional<uint16_t> serial,
                                 std::function<void(LogEntry)> entry,
                                 std::function<void(const LogProblem&)> problem)
    : serial_(serial), entry_(std::move(entry)), problem_(std::move(problem)) {}

void RecordLogReader::Take(std::string_view bytes) {
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!overlong_) {
            if (pending_.size() + piece.size() > kMaxRecordLine) {
                overlong_ = true;
                pending_.clear();
            } else {
                pending_.append(piece);
            }
        }
        if (end == std::string_view::npos) {
            return;
        }
        bytes.remove_prefix(end + 1);
        ++number_;
        if (overlong_) {
            problem_({number_, LogProblem::Kind::TooLong});
        } else {
            Line(pending_);
        }
        pending_.clear();
        overlong_ = false;
    }
}

void RecordLogReader::End() {
    if (!pending_.empty() || overlong_) {
        Take("\n");
    }
}

void RecordLogReader::Line(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.find_first_not_of(" \t") == std::string_view::npos) {
        return;
    }
    const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    if (record.is_discarded()) {
        problem_({number_, LogProblem::Kind::NotJson});
        return;
    }
    if (!record.is_object() || !record.contains("schema")) {
        problem_({number_, LogProblem::Kind::NotRecord});
        return;
    }
    LogEntry entry;
    entry.line = number_;
    const auto number_field = record.find("serial_number");
    if (number_field != record.end() && number_field->is_number_unsigned()) {
        entry.serialNumber = number_field->get<uint32_t>();
    }
    if (serial_ && entry.serialNumber != *serial_) {
        return;
    }
    entry.raw = line;
    entry.time = StringField(record, "time");
    entry.machineVersionBefore = StringField(record, "machine_version_before");
    entry.fileVersion = StringField(record, "file_version");
    entry.outcome = StringField(record, "outcome");
    entry.id = StringField(record, "id");
    entry.host = StringField(record, "host");
    const auto exit_field = record.find("exit_code");
    if (exit_field != record.end() && exit_field->is_number_integer()) {
        entry.exitCode = exit_field->get<int64_t>();
    }
    entry.holdsNul = line.find("\\u0000") != std::string_view::npos;
    entry_(std::move(entry));
}
