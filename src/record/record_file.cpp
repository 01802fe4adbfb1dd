#include "record/record_file.h"

#include <cstdio>

#include "console_texts.h"
#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/process.h"
#include "support/settings.h"

namespace {

// The record's own reasons reach a console or a trace in the run's language.
const char* OwnText(Cli id) {
    const auto index = static_cast<unsigned>(id);
    return nLanguageOffset == kGermanLanguageOffset ? kCliGerman[index] : kCliEnglish[index];
}

}  // namespace

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
        error = OwnText(Cli::kRecordNoFolder);
        return false;
    }
    switch (platform::AppendLineDurably(path, line + "\n")) {
        case platform::AppendResult::Ok:
            return true;
        case platform::AppendResult::NotRegularFile:
            error = OwnText(Cli::kRecordNotRegularFile);
            return false;
        case platform::AppendResult::Failed:
            break;
    }
    const uint32_t code = platform::LastError();
    error = platform::SystemMessage(code);
    // The system's texts may end in a line break.
    while (!error.empty() &&
           (error.back() == '\n' || error.back() == '\r' || error.back() == ' ')) {
        error.pop_back();
    }
    if (error.empty()) {
        char text[128];
        std::snprintf(text, sizeof text, OwnText(Cli::kRecordSystemError), code);
        error = text;
    }
    return false;
}

KeptRecord KeepRecord(const std::string& option, const std::string& line) {
    KeptRecord kept;
    kept.path = RecordPath(option);
    if (!AppendRecord(kept.path, line, kept.error) && kept.error.empty()) {
        kept.error = OwnText(Cli::kRecordUnknownError);
    }
    return kept;
}
