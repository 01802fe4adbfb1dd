#include "cli/line/line_record.h"

#include "platform/process.h"
#include "record/record_line.h"
#include "support/utils.h"
#include "update/exit_codes.h"

namespace {

using nlohmann::json;

json Failure(const char* what, const std::string& image, const std::string& text) {
    return {{"what", what},
            {"command", nullptr},
            {"image", image.empty() ? json(nullptr) : json(image)},
            {"block", nullptr},
            {"area", nullptr},
            {"text", text}};
}

std::string HowItEnded(const platform::ChildExit& exit) {
    if (exit.signal == 0) {
        return "the update's process ended without an exit code";
    }
    const std::string name = platform::SignalName(exit.signal);
    return "the update's process ended by signal " + std::to_string(exit.signal) +
           (name.empty() ? "" : " (" + name + ")");
}

template <typename T>
json OrNull(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

std::string RecordText(const json& record) {
    return record.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string LostChildRecord(const LineMachine& machine) {
    UpdateReport report;
    report.outcome = UpdateOutcome::DownloadFailed;
    RecordContext context;
    context.start = machine.startTime;
    context.seconds = ElapsedMs(machine.startMs, machine.endMs) / 1000.0;
    context.host = platform::HostName();
    context.user = platform::UserName();
    context.program = "tq8flash";
    context.version = TQ8_VERSION;
    context.port = machine.port;
    context.device = machine.device;
    context.exitCode = kExitUpdateFailed;
    json record = json::parse(RecordLine(report, context));
    record["serial_number"] = OrNull(machine.serial);
    record["machine_version_before"] = OrNull(machine.machineVersion);
    record["file_version"] = OrNull(machine.fileVersion);
    record["failure"] = Failure("ended", machine.image, HowItEnded(machine.exit));
    return RecordText(record);
}

std::string RefusedRecord(const std::string& childRecord, const std::string& reason) {
    json record = json::parse(childRecord, nullptr, false);
    if (!record.is_object()) {
        return childRecord;
    }
    record["outcome"] = "refused";
    record["failure"] = Failure("duplicate_serial_number", "", reason);
    record["exit_code"] = kExitRefused;
    return RecordText(record);
}

std::string BundleRefusedRecord(const std::string& port, const bundle::BundleCheck& check,
                                std::chrono::system_clock::time_point start) {
    UpdateReport report;
    report.outcome = UpdateOutcome::BundleRefused;
    report.bundle = check;
    report.failure.step = UpdateStep::Bundle;
    RecordContext context;
    context.start = start;
    context.host = platform::HostName();
    context.user = platform::UserName();
    context.program = "tq8flash";
    context.version = TQ8_VERSION;
    context.port = port;
    context.exitCode = kExitRefused;
    return RecordLine(report, context);
}
