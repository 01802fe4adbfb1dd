#include "cli/line/line_machine.h"

#include "cli/line/line_pipe.h"
#include "update/exit_codes.h"

namespace {

int Severity(int code) {
    switch (code) {
        case kExitSuccess:
            return 0;
        case kExitInterrupted:
            return 5;
        case kExitUpdateFailed:
            return 4;
        case kExitRefused:
            return 3;
        case kExitNoConnection:
            return 2;
        default:
            return 1;
    }
}

template <typename T>
std::optional<T> Field(const nlohmann::json& line, const char* name) {
    const auto it = line.find(name);
    if (it == line.end() || it->is_null()) {
        return std::nullopt;
    }
    try {
        return it->get<T>();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace

int LineMachine::ExitCode() const {
    if (exit.signal != 0 || exit.code < 0) {
        return told ? kExitUpdateFailed : kExitFailure;
    }
    return refused && exit.code == kExitDeclined ? kExitRefused : exit.code;
}

std::optional<nlohmann::json> ChildLineObject(LineMachine& machine, const std::string& text) {
    nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
    if (!line.is_object()) {
        machine.errors += text + "\n";
        return std::nullopt;
    }
    return line;
}

bool ApplyChildLine(LineMachine& machine, const nlohmann::json& line, uint32_t nowMs) {
    if (!line.is_object()) {
        return false;
    }
    if (line.contains(line_pipe::kRecordSchema)) {
        machine.record = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        machine.outcome = Field<std::string>(line, line_pipe::kRecordOutcome);
        return true;
    }
    const std::string event = Field<std::string>(line, line_pipe::kEvent).value_or("");
    if (event == line_pipe::kReadyEvent) {
        machine.ready = true;
        machine.serial = Field<uint32_t>(line, line_pipe::kSerialNumber);
        machine.machineVersion = Field<std::string>(line, line_pipe::kMachineVersion);
        machine.fileVersion = Field<std::string>(line, line_pipe::kFileVersion);
        machine.bytes = Field<uint64_t>(line, line_pipe::kBytes).value_or(0);
        machine.device = Field<std::string>(line, line_pipe::kDevice);
    } else if (event == line_pipe::kProgressEvent) {
        const std::string image = Field<std::string>(line, line_pipe::kImage).value_or("");
        if (image != machine.image) {
            // The next download: the one before is whole.
            if (!machine.image.empty()) {
                machine.finishedBytes += machine.imageTotal;
            }
            machine.image = image;
        }
        machine.phase = Field<std::string>(line, line_pipe::kPhase).value_or("");
        machine.imageDone = Field<uint64_t>(line, line_pipe::kDone).value_or(0);
        machine.imageTotal = Field<uint64_t>(line, line_pipe::kTotal).value_or(0);
        if (machine.phase == line_pipe::kDownloadPhase && !machine.rateStarted) {
            machine.rateStarted = true;
            machine.rateStartMs = nowMs;
            machine.rateStartBytes = machine.Done();
        }
    }
    return false;
}

int WorstExitCode(const std::vector<LineMachine>& machines) {
    int worst = kExitSuccess;
    for (const LineMachine& machine : machines) {
        const int code = machine.ExitCode();
        if (Severity(code) > Severity(worst)) {
            worst = code;
        }
    }
    return worst;
}
