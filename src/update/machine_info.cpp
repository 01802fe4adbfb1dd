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

constexpr const char* kMachineName = "Kovra TQ VIII";

void AppendLabelled(char* text, int capacity, unsigned label, int value) {
    char line[128];
    std::snprintf(line, sizeof line, "%s %d\r\n", LoadText(label), value);
    AppendString(text, line, capacity);
}

void AppendMachineRecord(ProtokollTQ8& connection, char* text, int capacity) {
    const MachineRecordReads reads = ReadMachineRecord(connection);
    if (reads.serial) {
        AppendLabelled(text, capacity, kTextSerial, *reads.serial);
    }
    if (!reads.count) {
        return;
    }
    AppendLabelled(text, capacity, kTextCount,
                   static_cast<uint16_t>(*reads.count) == kNeverWritten ? 0 : *reads.count);
    if (reads.dayMonth && reads.year && static_cast<uint16_t>(*reads.dayMonth) != kNeverWritten) {
        const unsigned value = static_cast<uint16_t>(*reads.dayMonth);
        AppendString(text,
                     FormatText(LoadText(kTextLastUpdate), static_cast<int>(value & 0xFF),
                                static_cast<int>(value >> 8), static_cast<int>(*reads.year)),
                     capacity);
    }
}

}  // namespace

MachineRecordReads ReadMachineRecord(ProtokollTQ8& connection) {
    MachineRecordReads reads;
    const auto read = [&connection](int id, std::optional<int16_t>& into) {
        int16_t value = 0;
        if (connection.ReadVariable(id, value) != 0) {
            into = value;
        }
    };
    read(kVariableSerial, reads.serial);
    read(kVariableCount, reads.count);
    if (reads.count) {
        read(kVariableDayMonth, reads.dayMonth);
        read(kVariableYear, reads.year);
    }
    return reads;
}

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
