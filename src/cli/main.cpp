// tq8flash: the command-line front end over the TQ8Flash core.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cmd_inspect.h"
#include "cli/console_frontend.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/serial.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/utils.h"

namespace {

constexpr const char* kVersion = "1.02";

void PrintUsage() {
    std::printf(
        "Usage: tq8flash [OPTIONS] COMMAND [ARGS]\n"
        "\n"
        "Updates the firmware of the Kovra TQ VIII over its RS-232 bootloader.\n"
        "\n"
        "Commands:\n"
        "  inspect FILE... [--output IMAGE]\n"
        "                   show addresses, sizes, versions and the image checksum of\n"
        "                   S-record files; --output writes the image of one file\n"
        "\n"
        "Options:\n"
        "  --yes            answer Yes to every question when no terminal is attached\n"
        "  --no             answer No to every question when no terminal is attached\n"
        "  --port DEVICE    open DEVICE for every COM port in this run (e.g. /dev/ttyUSB0)\n"
        "  -h, --help       show this help and exit\n"
        "  --version        show the program version and exit\n"
        "\n"
        "Settings are kept in %s.\n"
        "Trace lines go to the debug-output library when it is installed beside the\n"
        "program; set DebugLevelProtokoll, DebugLevelSRecord and DebugLevelRS232 (2..5)\n"
        "in the settings to see more of them.\n",
        platform::SettingsFilePath().empty() ? "the registry"
                                             : platform::SettingsFilePath().c_str());
}

void SetProgramDirectory() {
    const std::string path = platform::ProgramPath();
    CopyString(szProgramDirectory, path.c_str(), sizeof szProgramDirectory);
    char* lastSeparator = nullptr;
    for (char* p = szProgramDirectory; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            lastSeparator = p;
        }
    }
    if (lastSeparator != nullptr) {
        *lastSeparator = '\0';
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The trace library comes first, so that everything after it can trace.
    LoadDebugLibrary();
    platform::PrepareConsoleOutput();
    SetProgramDirectory();
    nLanguageOffset = LanguageOffsetForLcid(platform::UserDefaultLcid());
    ReadStartupSettings();

    std::vector<std::string> args(argv + 1, argv + argc);
    int exitCode = 0;
    bool handled = false;
    for (size_t i = 0; i < args.size() && !handled; ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage();
            handled = true;
        } else if (arg == "--version") {
            std::printf("tq8flash %s\n", kVersion);
            handled = true;
        } else if (arg == "--yes") {
            ConsoleSetUnattendedAnswer(true);
        } else if (arg == "--no") {
            ConsoleSetUnattendedAnswer(false);
        } else if (arg == "--port" && i + 1 < args.size()) {
            platform::SetSerialDeviceOverride(args[++i]);
        } else if (arg == "inspect") {
            exitCode = RunInspect({args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end()});
            handled = true;
        } else {
            std::fprintf(stderr, "tq8flash: unknown command or option '%s' (see --help)\n",
                         arg.c_str());
            exitCode = 2;
            handled = true;
        }
    }
    if (!handled) {
        PrintUsage();
        exitCode = 2;
    }
    FreeDebugLibrary();
    return exitCode;
}
