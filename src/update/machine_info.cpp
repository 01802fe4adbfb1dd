#include "update/machine_info.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "image/file_obj.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/serial.h"
#include "protocol/connection.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/utils.h"
#include "update/firmware_file.h"
#include "update/machine_variables.h"
#include "update/software_update.h"

namespace {

constexpr unsigned kTextSerial = 2315;
constexpr unsigned kTextCount = 2316;
constexpr unsigned kTextLastUpdate = 2317;

constexpr const char* kMachineName = "Kovra TQ VIII";

void AppendLabelled(char* text, int capacity, unsigned label, int value) {
    char line[128];
    std::snprintf(line, sizeof line, "%s %d\r\n", LoadText(label), value);
    AppendString(text, line, capacity);
}

void AppendMachineRecord(ProtokollTQ8& connection, char* text, int capacity) {
    int16_t serial = 0;
    if (connection.ReadVariable(kVariableSerial, serial) != 0) {
        AppendLabelled(text, capacity, kTextSerial, serial);
    }
    int16_t count = 0;
    if (connection.ReadVariable(kVariableCount, count) == 0) {
        return;
    }
    AppendLabelled(text, capacity, kTextCount,
                   static_cast<uint16_t>(count) == kNeverWritten ? 0 : count);
    // Both parts of the date are always asked, also when the first read fails.
    int16_t dayMonth = 0;
    int16_t year = 0;
    const bool haveDayMonth = connection.ReadVariable(kVariableDayMonth, dayMonth) != 0;
    const bool haveYear = connection.ReadVariable(kVariableYear, year) != 0;
    if (haveDayMonth && haveYear && static_cast<uint16_t>(dayMonth) != kNeverWritten) {
        const unsigned value = static_cast<uint16_t>(dayMonth);
        AppendString(text,
                     FormatText(LoadText(kTextLastUpdate), static_cast<int>(value & 0xFF),
                                static_cast<int>(value >> 8), static_cast<int>(year)),
                     capacity);
    }
}

}  // namespace

void BuildAboutText(WindowHandle owner, char* text, int capacity) {
    if (text == nullptr || capacity <= 0) {
        return;
    }
    ConnectionLease lease;
    if (lease.Acquired() && !pProtokoll && nInterface != -1) {
        Schnittstelle_initialisieren(owner, nInterface, 1);
    }
    ProtokollTQ8* connection = lease.Acquired() ? pProtokoll.get() : nullptr;
    // Read across several waits; whatever they dispatch, the connection stays.
    std::optional<ConnectionPin> pin;
    if (connection != nullptr) {
        pin.emplace(*connection);
    }

    char path[kMaxPath];
    FirmwareFilePath(path, kProgramFileName);
    FileObj file;
    const bool haveFile = OpenFirmwareFile(file, path) != 0;

    BuildVersionOverviewWith(connection, haveFile ? &file : nullptr, text, capacity);
    if (connection != nullptr) {
        AppendMachineRecord(*connection, text, capacity);
    }
    file.fclose();
}

void BuildSystemInformationText(char* text, int capacity) {
    if (text == nullptr || capacity <= 0) {
        return;
    }
    CopyString(text, "|", capacity);
    if (!pProtokoll || !pProtokoll->pComm || pProtokoll->pComm->fOpen == 0) {
        return;
    }
    static constexpr char kParityLetters[] = "NOEMS";
    static constexpr const char* kStopBitTexts[] = {"1", "1.5", "2"};
    const platform::DeviceControl& dcb = pProtokoll->pComm->dcb;
    const char parity = dcb.Parity < 5 ? kParityLetters[dcb.Parity] : '?';
    const char* stopBits = dcb.StopBits < 3 ? kStopBitTexts[dcb.StopBits] : "?";
    char line[128];
    std::snprintf(line, sizeof line, "COM%d|%s (%d bps; %d %c %s)|", nInterface, kMachineName,
                  static_cast<int>(dcb.BaudRate), static_cast<int>(dcb.ByteSize), parity, stopBits);
    AppendString(text, line, capacity);
}
