#include <cstdint>
#include <cstdio>

#include "image/srecord.h"
#include "protocol/connection.h"
#include "support/settings.h"
#include "support/utils.h"
#include "text_ids.h"
#include "update/machine_variables.h"
#include "update/software_update.h"

namespace {

// Variable 0 holds major * 100 + minor, variable 2384 the build. Both are always asked;
// the version is known only when both reads succeed, whatever the values.
void ReadMachineVersion(ProtokollTQ8& connection, VersionReads& reads) {
    int16_t version = 0;
    int16_t build = 0;
    if (connection.ReadVariable(kVariableVersion, version) != 0) {
        reads.machineVersion = version;
    }
    if (connection.ReadVariable(kVariableBuild, build) != 0) {
        reads.machineBuild = static_cast<uint16_t>(build);
    }
}

bool ComposeMachineVersion(const VersionReads& reads, uint32_t& out) {
    if (!reads.machineVersion || !reads.machineBuild) {
        return false;
    }
    out = MachineVersionValue(static_cast<uint16_t>(*reads.machineVersion), *reads.machineBuild);
    return true;
}

void AppendVersion(char* text, int capacity, uint32_t version, bool known) {
    if (!known) {
        AppendString(text, LoadText(kTextUnknown), capacity);
        return;
    }
    char part[64];
    std::snprintf(part, sizeof part, " %d.%02d.%d\r\n", static_cast<int>(version >> 24),
                  static_cast<int>(version >> 16 & 0xFF), static_cast<int>(version & 0xFFFF));
    AppendString(text, part, capacity);
}

}  // namespace

void BuildVersionOverviewWith(ProtokollTQ8* connection, FileObj* file, char* text, int capacity,
                              VersionReads* reads) {
    if (text == nullptr || capacity <= 0) {
        return;
    }
    VersionReads local;
    VersionReads& read = reads != nullptr ? *reads : local;
    read = VersionReads{};
    if (connection != nullptr) {
        ReadMachineVersion(*connection, read);
    }
    uint32_t machine = kSRecordNoVersion;
    const bool machineKnown = ComposeMachineVersion(read, machine);
    const uint32_t fromFile =
        file != nullptr ? SRecordGetVersionIdentifier(*file, 0) : kSRecordNoVersion;
    if (fromFile != kSRecordNoVersion) {
        read.fileVersion = fromFile;
    }

    CopyString(text, LoadText(kTextMachine), capacity);
    AppendVersion(text, capacity, machine, machineKnown);
    AppendString(text, LoadText(kTextFile), capacity);
    AppendVersion(text, capacity, fromFile, fromFile != kSRecordNoVersion);
}

void BuildVersionOverview(FileObj* file, char* text, int capacity) {
    BuildVersionOverviewWith(pProtokoll.get(), file, text, capacity);
}
