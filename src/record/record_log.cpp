#include "record/record_log.h"

#include <nlohmann/json.hpp>

namespace {

std::string StringField(const nlohmann::json& record, const char* name) {
    const auto field = record.find(name);
    return field != record.end() && field->is_string() ? field->get<std::string>() : "";
}

}  // namespace

RecordLog ParseRecordLog(const std::string& text, std::optional<uint32_t> serial) {
    RecordLog log;
    size_t begin = 0;
    int number = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        if (record.is_discarded()) {
            log.problems.push_back({number, LogProblem::Kind::NotJson});
            continue;
        }
        if (!record.is_object() || !record.contains("schema")) {
            log.problems.push_back({number, LogProblem::Kind::NotRecord});
            continue;
        }
        LogEntry entry;
        entry.line = number;
        entry.raw = line;
        entry.time = StringField(record, "time");
        const auto number_field = record.find("serial_number");
        if (number_field != record.end() && number_field->is_number_unsigned()) {
            entry.serialNumber = number_field->get<uint32_t>();
        }
        if (serial && entry.serialNumber != serial) {
            continue;
        }
        entry.machineVersionBefore = StringField(record, "machine_version_before");
        entry.fileVersion = StringField(record, "file_version");
        entry.outcome = StringField(record, "outcome");
        log.entries.push_back(std::move(entry));
    }
    return log;
}
