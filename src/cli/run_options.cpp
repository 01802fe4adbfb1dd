#include "cli/run_options.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/console_session.h"
#include "cli/console_text.h"
#include "platform/process.h"
#include "platform/serial.h"
#include "platform/serial_ports.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/utils.h"

int ComPortNumber(const std::string& name) {
    // The OS layer reads the name as it resolves ports; the Win32 API numbers ports up to 255.
    const int number = platform::SerialPortNumber(name);
    return number >= 1 && number <= 255 ? number : 0;
}

std::string CurrentDirectory() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string(".") : path.string();
}

namespace {

bool SetProgramDirectoryFor(const std::string& dir) {
    std::string folder = dir.empty() ? CurrentDirectory() : dir;
    // "dir/" and "dir" name the same folder; the core appends its own separator.
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) {
        folder.pop_back();
    }
    if (folder.size() > static_cast<size_t>(kMaxPath) - 13) {  // room for "/TQ8-PROG.MOT"
        if (!dir.empty()) {
            std::fprintf(stderr, "%s\n", ConsoleFormat(Cli::kDirTooLong, kMaxPath - 13).c_str());
            return false;
        }
        folder = ".";
    }
    CopyString(szProgramDirectory, folder.c_str(), sizeof szProgramDirectory);
    return true;
}

void SelectPort(const std::string& port) {
    if (port.empty()) {
        return;
    }
    if (const int number = ComPortNumber(port)) {
        nInterface = number;
        return;
    }
    // A device is bound to the selected port for this run; with none selected, COM1
    // becomes the selection, or the device could never be reached.
    if (nInterface <= 0) {
        nInterface = 1;
    }
    platform::MapSerialPort(nInterface, port);
}

}  // namespace

void ApplyLanguageOption(const RunOptions& options) {
    if (options.lang == "en") {
        nLanguageOffset = 0;
    } else if (options.lang == "de") {
        nLanguageOffset = kGermanLanguageOffset;
    }
}

bool ApplyRunOptions(ConsoleSession& session, const RunOptions& options) {
    // First, so that the run's own complaints are in its language too.
    ApplyLanguageOption(options);
    if (options.yes && options.no) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kYesAndNo));
        return false;
    }
    if (options.yes || options.no) {
        session.unattendedAnswer = options.yes;
    }
    if (options.trace != 0) {
        nDebugLevelProtokoll = options.trace;
        nDebugLevelSRecord = options.trace;
        nDebugLevelRS232 = options.trace;
        // The library reads this for every line, so it takes effect at once.
        platform::SetEnvironment("VLDEBUG_STDERR", "1");
    }
    SelectPort(options.port);
    return SetProgramDirectoryFor(options.dir);
}
