// info and sysinfo as JSON documents: the values the About text and the system-information
// text show, as fields. The machine is asked in the About box's order.

#include <cstdint>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/json_out.h"
#include "image/file_obj.h"
#include "image/srecord.h"
#include "protocol/connection.h"
#include "record/version_text.h"
#include "support/globals.h"
#include "update/firmware_file.h"
#include "update/machine_info.h"
#include "update/machine_variables.h"
#include "update/software_update.h"

namespace {

// A variable's value, or null when the machine did not answer.
nlohmann::json ReadValue(ProtokollTQ8& connection, int id) {
    int16_t value = 0;
    if (connection.ReadVariable(id, value) == 0) {
        return nullptr;
    }
    return static_cast<uint16_t>(value);
}

nlohmann::json VersionField(uint32_t value) {
    const auto text = VersionText(value);
    return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

nlohmann::json MachineFields(ProtokollTQ8* connection) {
    nlohmann::json fields = {{"machine_version", nullptr},
                             {"serial_number", nullptr},
                             {"update_count", nullptr},
                             {"last_update", nullptr}};
    if (connection == nullptr) {
        return fields;
    }
    const nlohmann::json version = ReadValue(*connection, kVariableVersion);
    const nlohmann::json build =
        version.is_null() ? nullptr : ReadValue(*connection, kVariableBuild);
    if (!build.is_null()) {
        fields["machine_version"] =
            VersionField(MachineVersionValue(version.get<uint16_t>(), build.get<uint16_t>()));
    }
    fields["serial_number"] = ReadValue(*connection, kVariableSerial);
    const nlohmann::json count = ReadValue(*connection, kVariableCount);
    if (count.is_null()) {
        return fields;
    }
    // Never written counts as no update, as in the About text.
    fields["update_count"] = count.get<uint16_t>() == kNeverWritten ? 0 : count.get<uint16_t>();
    const nlohmann::json dayMonth = ReadValue(*connection, kVariableDayMonth);
    const nlohmann::json year =
        dayMonth.is_null() ? nullptr : ReadValue(*connection, kVariableYear);
    if (!year.is_null() && dayMonth.get<uint16_t>() != kNeverWritten) {
        const unsigned value = dayMonth.get<uint16_t>();
        char date[16];
        std::snprintf(date, sizeof date, "%04u-%02u-%02u", year.get<uint16_t>() % 10000u,
                      (value >> 8) % 100u, (value & 0xFF) % 100u);
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
    const uint32_t fileVersion =
        OpenFirmwareFile(file, path) != 0 ? SRecordGetVersionIdentifier(file, 0) : kNoVersionValue;
    file.fclose();
    nlohmann::json document = {
        {"connected", connection != nullptr},
        {"port", connection != nullptr ? nlohmann::json("COM" + std::to_string(nInterface))
                                       : nlohmann::json(nullptr)},
        {"file", path},
        {"file_version", VersionField(fileVersion)}};
    document.update(MachineFields(connection));
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
