// info and sysinfo as JSON documents: the values the About text and the system-information
// text show, as fields. The machine is asked in the About box's order.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/bundle_text.h"
#include "cli/commands.h"
#include "cli/json_out.h"
#include "image/file_obj.h"
#include "protocol/connection.h"
#include "record/record_line.h"
#include "support/globals.h"
#include "update/exit_codes.h"
#include "update/firmware_file.h"
#include "update/machine_info.h"
#include "update/machine_variables.h"
#include "update/software_update.h"
#include "update/version_text.h"

namespace {

nlohmann::json VersionField(uint32_t value) {
    const auto text = VersionText(value);
    return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

nlohmann::json Unsigned(const std::optional<int16_t>& value) {
    return value ? nlohmann::json(static_cast<uint16_t>(*value)) : nlohmann::json(nullptr);
}

// The About text's values as fields, from the About text's own reads.
nlohmann::json MachineFields(ProtokollTQ8* connection, FileObj* file) {
    nlohmann::json fields = {{"machine_version", nullptr},
                             {"serial_number", nullptr},
                             {"update_count", nullptr},
                             {"last_update", nullptr}};
    VersionReads versions;
    char overview[kOverviewCapacity + 1];
    BuildVersionOverviewWith(connection, file, overview, sizeof overview, &versions);
    fields["file_version"] =
        versions.fileVersion ? VersionField(*versions.fileVersion) : nlohmann::json(nullptr);
    if (connection == nullptr) {
        return fields;
    }
    if (versions.machineVersion && versions.machineBuild) {
        fields["machine_version"] = VersionField(MachineVersionValue(
            static_cast<uint16_t>(*versions.machineVersion), *versions.machineBuild));
    }
    const MachineRecordReads record = ReadMachineRecord(*connection);
    fields["serial_number"] = Unsigned(record.serial);
    if (!record.count) {
        return fields;
    }
    // Never written counts as no update, as in the About text.
    const auto count = static_cast<uint16_t>(*record.count);
    fields["update_count"] = count == kNeverWritten ? 0 : count;
    if (record.dayMonth && record.year &&
        static_cast<uint16_t>(*record.dayMonth) != kNeverWritten) {
        const unsigned value = static_cast<uint16_t>(*record.dayMonth);
        char date[16];
        std::snprintf(date, sizeof date, "%04u-%02u-%02u",
                      static_cast<uint16_t>(*record.year) % 10000u, (value >> 8) % 100u,
                      (value & 0xFF) % 100u);
        fields["last_update"] = date;
    }
    return fields;
}

}  // namespace

int RunInfoJson() {
    ConnectionLease lease;
    if (lease.Acquired() && !pProtokoll && nInterface != -1) {
        Schnittstelle_initialisieren(hMainWnd, nInterface, 1);
    }
    ProtokollTQ8* connection = lease.Acquired() ? pProtokoll.get() : nullptr;
    char path[kMaxPath];
    FirmwareFilePath(path, kProgramFileName);
    FileObj file;
    const bool haveFile = OpenFirmwareFile(file, path) != 0;
    nlohmann::json document = {
        {"connected", connection != nullptr},
        {"port", connection != nullptr ? nlohmann::json("COM" + std::to_string(nInterface))
                                       : nlohmann::json(nullptr)}};
    {
        // Read across several waits; whatever they dispatch, the connection stays.
        std::optional<ConnectionPin> pin;
        if (connection != nullptr) {
            pin.emplace(*connection);
        }
        document.update(MachineFields(connection, haveFile ? &file : nullptr));
    }
    file.fclose();
    document["file"] = path;
    document["bundle"] = nlohmann::json::parse(BundleObject(CheckInstalled(szProgramDirectory)));
    PrintJson(document);
    const bool answered = connection != nullptr;
    pProtokoll.reset();
    return answered ? kExitSuccess : kExitNoConnection;
}

int RunSysinfoJson() {
    if (nInterface != -1) {
        Schnittstelle_initialisieren(hMainWnd, nInterface, 1);
    }
    char text[kMaxPath + 1] = "";
    BuildSystemInformationText(text, sizeof text);
    // "|" alone, or "|COM2|Kovra TQ VIII (9600 bps; 8 N 1)|".
    const std::string whole = text;
    const size_t first = whole.find('|', 1);
    const size_t second = first == std::string::npos ? first : whole.find('|', first + 1);
    const bool connected = pProtokoll != nullptr;
    nlohmann::json document = {
        {"connected", connected}, {"text", whole}, {"port", nullptr}, {"connection", nullptr}};
    if (first != std::string::npos && second != std::string::npos) {
        document["port"] = whole.substr(1, first - 1);
        document["connection"] = whole.substr(first + 1, second - first - 1);
    }
    PrintJson(document);
    pProtokoll.reset();
    return connected ? kExitSuccess : kExitNoConnection;
}
