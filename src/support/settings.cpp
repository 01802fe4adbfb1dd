#include "support/settings.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/string_resources.h"
#include "support/globals.h"
#include "support/utils.h"

int nLanguageOffset = 0;

namespace {

// The program's values that this run keeps to itself, by name; none while not yet written.
struct RunOnlyValues {
    std::mutex mutex;
    std::map<std::string, std::optional<platform::SettingsValue>> values;
};

RunOnlyValues& RunOnly() {
    static RunOnlyValues values;
    return values;
}

bool IsProgramKey(platform::SettingsRoot root, const char* key) {
    return root == HKEY_CURRENT_USER_ROOT && std::strcmp(key, kProgramKey) == 0;
}

std::optional<platform::SettingsValue> Query(platform::SettingsRoot root, const char* key,
                                             const char* name) {
    if (IsProgramKey(root, key)) {
        RunOnlyValues& runOnly = RunOnly();
        std::lock_guard<std::mutex> lock(runOnly.mutex);
        const auto kept = runOnly.values.find(name);
        if (kept != runOnly.values.end() && kept->second) {
            return kept->second;
        }
    }
    return platform::SettingsQuery(root, key, name);
}

}  // namespace

void KeepValueForThisRun(const char* name) {
    RunOnlyValues& runOnly = RunOnly();
    std::lock_guard<std::mutex> lock(runOnly.mutex);
    runOnly.values.try_emplace(name);
}

int RegReadString(platform::SettingsRoot root, const char* key, const char* name,
                  const char* defaultText, char* out, int size) {
    const auto value = Query(root, key, name);
    if (!value || size <= 0 || value->data.size() > static_cast<size_t>(size)) {
        CopyString(out, defaultText, size);
        return 0;
    }
    std::memcpy(out, value->data.data(), value->data.size());
    // A value stored without its terminator still reads as a terminated text.
    if (value->data.size() < static_cast<size_t>(size)) {
        out[value->data.size()] = '\0';
    } else {
        out[size - 1] = '\0';
    }
    return static_cast<int>(value->data.size());
}

int32_t RegReadDword(platform::SettingsRoot root, const char* key, const char* name,
                     int32_t defaultValue) {
    const auto value = Query(root, key, name);
    if (!value || value->data.size() > 4) {
        return defaultValue;
    }
    uint32_t result = 0;  // little-endian, as the registry stores a DWORD
    for (size_t i = 0; i < value->data.size(); ++i) {
        result |= uint32_t{value->data[i]} << (8 * i);
    }
    return static_cast<int32_t>(result);
}

bool RegWriteDword(platform::SettingsRoot root, const char* key, const char* name, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    platform::SettingsValue stored{
        platform::ValueKind::Dword,
        {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
         static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)}};
    if (IsProgramKey(root, key)) {
        RunOnlyValues& runOnly = RunOnly();
        std::lock_guard<std::mutex> lock(runOnly.mutex);
        const auto kept = runOnly.values.find(name);
        if (kept != runOnly.values.end()) {
            kept->second = stored;
            return true;
        }
    }
    return platform::SettingsWrite(root, key, name, stored);
}

int LanguageOffsetForLcid(uint32_t lcid) {
    return (lcid & 0x3FF) == 7 ? kGermanLanguageOffset : 0;
}

const char* LoadText(unsigned id) {
    static char buffers[4][kLoadTextSize + 1];
    static unsigned ring = 0;
    ring = (ring + 1) % 4;
    if (id < 30000) {
        id += static_cast<unsigned>(nLanguageOffset);
    }
    platform::LoadStringResource(id, buffers[ring], kLoadTextSize);
    return buffers[ring];
}

const char* FormatText(const char* format, ...) {
    static char buffers[4][kFormatTextSize + 1];
    static unsigned ring = 0;
    ring = (ring + 1) % 4;
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffers[ring], kFormatTextSize + 1, format, args);
    va_end(args);
    return buffers[ring];
}

std::string RecordFileSetting() {
    char path[kMaxPath + 1] = "";
    RegReadString(HKEY_CURRENT_USER_ROOT, kProgramKey, "RecordFile", "", path, sizeof path);
    return path;
}

std::string RecordServerSetting() {
    char url[1024] = "";
    RegReadString(HKEY_CURRENT_USER_ROOT, kProgramKey, "RecordServer", "", url, sizeof url);
    return url;
}

void ReadStartupSettings() {
    nInterface = RegReadDword(HKEY_CURRENT_USER_ROOT, kProgramKey, kInterfaceValue, -1);
    nDebugLevelProtokoll =
        RegReadDword(HKEY_CURRENT_USER_ROOT, kProgramKey, "DebugLevelProtokoll", 2);
    nDebugLevelSRecord = RegReadDword(HKEY_CURRENT_USER_ROOT, kProgramKey, "DebugLevelSRecord", 2);
    nDebugLevelRS232 = RegReadDword(HKEY_CURRENT_USER_ROOT, kProgramKey, "DebugLevelRS232", 2);
}
