#include "record/record_file.h"

#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/process.h"
#include "support/settings.h"

std::string DefaultRecordPath() {
    const std::string base = platform::UserDataDirectory();
    if (base.empty()) {
        return {};
    }
    const char sep = platform::PathSeparator();
    return base + sep + "Ostrelwerk" + sep + "TQ8Flash" + sep + "updates.jsonl";
}

std::string RecordPath(const std::string& option) {
    if (!option.empty()) {
        return option;
    }
    const std::string setting = RecordFileSetting();
    return setting.empty() ? DefaultRecordPath() : setting;
}

bool AppendRecord(const std::string& path, const std::string& line, std::string& error) {
    if (path.empty()) {
        error = "no folder for user data is known";
        return false;
    }
    if (platform::AppendLineDurably(path, line + "\n")) {
        return true;
    }
    const uint32_t code = platform::LastError();
    error = platform::SystemMessage(code);
    // The system's texts may end in a line break.
    while (!error.empty() &&
           (error.back() == '\n' || error.back() == '\r' || error.back() == ' ')) {
        error.pop_back();
    }
    if (error.empty()) {
        error = "system error " + std::to_string(code);
    }
    return false;
}
