#include "record/record_line.h"

#include <nlohmann/json.hpp>

#include "record/record_id.h"
#include "record/utc_time.h"
#include "update/machine_variables.h"
#include "update/version_text.h"

namespace {

using nlohmann::json;

template <typename T>
json OrNull(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

json VersionOrNull(std::optional<uint32_t> value) {
    return value ? OrNull(VersionText(*value)) : json(nullptr);
}

// The file's name without its folder.
std::string FileName(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

const char* StepName(UpdateStep step) {
    switch (step) {
        case UpdateStep::OpenFile:
            return "open_file";
        case UpdateStep::SerialNumber:
            return "serial_number";
        case UpdateStep::LoadImage:
            return "load_image";
        case UpdateStep::StartDownload:
            return "start_download";
        case UpdateStep::Block:
            return "block";
        case UpdateStep::Trailer:
            return "trailer";
        case UpdateStep::Stopped:
            return "stopped";
        case UpdateStep::Checksum:
            return "checksum";
        case UpdateStep::Bundle:
            return "bundle";
        case UpdateStep::Downgrade:
            return "downgrade";
        case UpdateStep::None:
            break;
    }
    return "unknown";
}

// The protocol command of the step, where the step is one command.
json StepCommand(UpdateStep step) {
    switch (step) {
        case UpdateStep::SerialNumber:
            return 4;
        case UpdateStep::StartDownload:
            return 7;
        case UpdateStep::Checksum:
            return 10;
        default:
            return nullptr;
    }
}

json Failure(const UpdateReport& report) {
    const UpdateFailurePoint& point = report.failure;
    if (point.step == UpdateStep::None) {
        return nullptr;
    }
    json image = nullptr;
    if (point.image && *point.image >= 0 &&
        static_cast<size_t>(*point.image) < report.images.size()) {
        image = FileName(report.images[static_cast<size_t>(*point.image)].file);
    }
    return {{"what", StepName(point.step)},
            {"command", StepCommand(point.step)},
            {"image", image},
            {"block", OrNull(point.block)},
            {"area", OrNull(point.area)}};
}

json Images(const UpdateReport& report) {
    json images = json::array();
    for (const UpdateImageReport& image : report.images) {
        images.push_back({{"file", FileName(image.file)},
                          {"start", image.start},
                          {"end", image.end},
                          {"size", image.size},
                          {"crc32", image.crc32},
                          {"sum", OrNull(image.trailerSum)}});
    }
    return images;
}

json Checksums(const UpdateReport& report) {
    json checksums = json::array();
    for (const UpdateChecksumReport& area : report.checksums) {
        checksums.push_back({{"area", area.area},
                             {"start", area.start},
                             {"end", area.end},
                             {"saved", area.saved},
                             {"calculated", area.calculated},
                             {"agree", area.agree}});
    }
    return checksums;
}

// The firmware bundle's check, where the run made one.
json Bundle(const bundle::BundleCheck& check) {
    auto textOrNull = [](const std::string& text) {
        return text.empty() ? json(nullptr) : json(text);
    };
    json object = {{"state", bundle::StateName(check.state)},
                   {"manifest_sha256", textOrNull(check.manifestSha256)},
                   {"name", textOrNull(check.name)},
                   {"key_id", textOrNull(check.keyId)},
                   {"trusted_comment", textOrNull(check.trustedComment)}};
    if (check.state == bundle::BundleState::Refused) {
        object["failure"] = {{"what", bundle::FaultName(check.fault)},
                             {"file", textOrNull(check.file)}};
    }
    return object;
}

}  // namespace

bool HasRecord(UpdateOutcome outcome) {
    return outcome >= UpdateOutcome::BundleRefused;
}

const char* OutcomeName(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::Succeeded:
            return "completed";
        case UpdateOutcome::Declined:
        case UpdateOutcome::OverviewDeclined:
            return "declined";
        case UpdateOutcome::NoConnection:
        case UpdateOutcome::ConnectionTest:
            return "no_connection";
        case UpdateOutcome::FileError:
        case UpdateOutcome::LoadError:
            return "file_error";
        case UpdateOutcome::DownloadFailed:
            return "download_failed";
        case UpdateOutcome::ChecksumFailed:
            return "checksum_failed";
        case UpdateOutcome::Interrupted:
            return "interrupted";
        case UpdateOutcome::BundleRefused:
            return "bundle_refused";
        case UpdateOutcome::DowngradeRefused:
            return "downgrade_refused";
        case UpdateOutcome::None:
        case UpdateOutcome::Busy:
            break;
    }
    return "none";
}

std::string RecordLine(const UpdateReport& report, const RecordContext& context) {
    std::optional<uint32_t> machineVersion;
    if (report.machineVersion && report.machineBuild) {
        machineVersion = MachineVersionValue(static_cast<uint16_t>(*report.machineVersion),
                                             *report.machineBuild);
    }
    std::optional<uint16_t> serial;
    if (report.serialNumber) {
        serial = static_cast<uint16_t>(*report.serialNumber);
    }
    json record = {
        {"schema", kRecordSchema},
        {"time", IsoUtcSeconds(context.start)},
        {"seconds", static_cast<double>(static_cast<int64_t>(context.seconds * 1000 + 0.5)) / 1000},
        {"host", context.host},
        {"user", context.user},
        {"program", {{"name", context.program}, {"version", context.version}}},
        {"port", OrNull(context.port)},
        {"device", OrNull(context.device)},
        {"serial_number", OrNull(serial)},
        {"machine_version_before", VersionOrNull(machineVersion)},
        {"file_version", VersionOrNull(report.fileVersion)},
        {"images", Images(report)},
        {"checksums", Checksums(report)},
        {"outcome", OutcomeName(report.outcome)},
        {"failure", Failure(report)},
        {"update_count", OrNull(report.updateCounter)},
        {"exit_code", context.exitCode},
    };
    // Signed bundles: added only where there is something to say, so that a reader of the
    // first records finds nothing changed.
    if (report.bundle) {
        record["bundle"] = Bundle(*report.bundle);
    }
    if (report.downgradeReason) {
        record["downgrade_reason"] = *report.downgradeReason;
    }
    // The record's name on the record server, made once, here, where the record is born.
    if (const std::string id = NewRecordId(); !id.empty()) {
        record["id"] = id;
    }
    // Names and paths may hold bytes that are not UTF-8 (a CP1252 host name): they are
    // replaced rather than failing the record.
    return record.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string BundleObject(const bundle::BundleCheck& check) {
    return Bundle(check).dump(-1, ' ', false, json::error_handler_t::replace);
}
