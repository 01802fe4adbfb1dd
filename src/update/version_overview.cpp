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

constexpr uint32_t kNoVersion = 0xFFFFFFFF;

// Variable 0 holds major * 100 + minor, variable 2384 the build. Known only when both
// reads succeed, whatever the values.
bool MachineVersion(ProtokollTQ8& connection, uint32_t& out) {
    int16_t version = 0;
    int16_t build = 0;
    if (connection.ReadVariable(kVariableVersion, version) == 0 ||
        connection.ReadVariable(kVariableBuild, build) == 0) {
        return false;
    }
    const uint32_t value = static_cast<uint16_t>(version);
    const uint32_t major = value / 100 & 0xFF;
    const uint32_t minor = value % 100;
    out = major << 24 | minor << 16 | static_cast<uint16_t>(build);
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

void BuildVersionOverviewWith(ProtokollTQ8* connection, FileObj* file, char* text, int capacity) {
    if (text == nullptr || capacity <= 0) {
        return;
    }
    uint32_t machine = kNoVersion;
    const bool machineKnown = connection != nullptr && MachineVersion(*connection, machine);
    const uint32_t fromFile = file != nullptr ? SRecordGetVersionIdentifier(*file, 0) : kNoVersion;

    CopyString(text, LoadText(kTextMachine), capacity);
    AppendVersion(text, capacity, machine, machineKnown);
    AppendString(text, LoadText(kTextFile), capacity);
    AppendVersion(text, capacity, fromFile, fromFile != kNoVersion);
}

void BuildVersionOverview(FileObj* file, char* text, int capacity) {
    BuildVersionOverviewWith(pProtokoll.get(), file, text, capacity);
}
