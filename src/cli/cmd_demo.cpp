// The demo: a complete update of the sample firmware on the simulated machine.

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "cli/console_session.h"
#include "cli/console_text.h"
#include "platform/process.h"
#include "platform/serial.h"
#include "protocol/connection.h"
#include "support/globals.h"
#include "support/utils.h"
#include "tq8sim/simulator.h"
#include "update/exit_codes.h"

namespace fs = std::filesystem;

namespace {

bool HoldsBundle(const fs::path& dir) {
    std::error_code error;
    return !dir.empty() && fs::is_regular_file(dir / "TQ8-PROG.MOT", error);
}

// --dir, then $TQ8_EXAMPLES, then a copy beside the program, then the installed copy,
// then (in a developer's build) the source tree this program was built from.
std::string FindSampleFirmware(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    const std::string fromEnvironment = platform::Environment("TQ8_EXAMPLES");
    if (!fromEnvironment.empty()) {
        return fromEnvironment;
    }
    const fs::path program = platform::ProgramPath();
    const fs::path candidates[] = {
        program.parent_path() / ".." / "share" / "tq8flash" / "examples" / "firmware",
        fs::path(TQ8_INSTALLED_EXAMPLES),
#ifdef TQ8_SOURCE_EXAMPLES
        fs::path(TQ8_SOURCE_EXAMPLES),
#endif
    };
    for (const fs::path& candidate : candidates) {
        if (HoldsBundle(candidate)) {
            return candidate.lexically_normal().string();
        }
    }
    return {};
}

// A settings folder of the demo's own for the run, so that nothing it stores (the
// interface, say) reaches the user's settings. Removed again at the end.
class ScratchSettings {
  public:
    ScratchSettings() : previous_(platform::Environment("XDG_CONFIG_HOME")) {
        std::error_code error;
        std::random_device random;
        for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path(error) / ("tq8flash-demo-" + std::to_string(random()));
            if (!error && fs::create_directory(candidate, error)) {
                path_ = candidate;
            }
        }
        if (!path_.empty()) {
            platform::SetEnvironment("XDG_CONFIG_HOME", path_.string());
        }
    }
    ~ScratchSettings() {
        if (path_.empty()) {
            return;
        }
        platform::SetEnvironment("XDG_CONFIG_HOME", previous_);
        std::error_code error;
        fs::remove_all(path_, error);
    }
    ScratchSettings(const ScratchSettings&) = delete;
    ScratchSettings& operator=(const ScratchSettings&) = delete;

    bool Made() const { return !path_.empty(); }

  private:
    std::string previous_;
    fs::path path_;
};

}  // namespace

bool DemoAvailable() {
    return true;
}

const char* DemoDescription() {
    return "Update the sample firmware on a simulated machine (answers Yes to every "
           "question, keeps the settings untouched), then show its About text";
}

int RunDemo(ConsoleSession& session, const DemoOptions& options) {
    const std::string dir = FindSampleFirmware(options.dir);
    if (dir.empty()) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kDemoNoSample));
        return kExitFileError;
    }
    if (dir.size() > static_cast<size_t>(kMaxPath) - 13) {
        std::fprintf(stderr, "%s\n", ConsoleFormat(Cli::kDemoPathTooLong, dir.c_str()).c_str());
        return kExitFileError;
    }
    CopyString(szProgramDirectory, dir.c_str(), sizeof szProgramDirectory);

    ScratchSettings settings;
    if (!settings.Made()) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kDemoNoScratch));
        return kExitFailure;
    }
    tq8sim::Options machineOptions;
    machineOptions.pace = options.pace;
    tq8sim::Simulator machine(machineOptions);
    if (!machine.CreatePty() || !machine.Start()) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kDemoNoMachine));
        return kExitFailure;
    }
    if (nInterface <= 0) {
        nInterface = 1;
    }
    platform::MapSerialPort(nInterface, machine.DevicePath());
    std::printf("%s\n", ConsoleFormat(Cli::kDemoStarted, machine.DevicePath().c_str(), nInterface,
                                      szProgramDirectory)
                            .c_str());
    std::fflush(stdout);

    session.unattendedAnswer = true;
    // A simulated machine's update is no service done: it leaves no record.
    UpdateOptions update;
    update.keepRecord = false;
    // Its machine is no machine: the sample bundle goes on it as it is, and the run says so.
    update.checkBundle = false;
    std::printf("%s\n", ConsoleText(Cli::kDemoBundleUnchecked));
    const int code = RunUpdate(session, update);
    std::printf("\n");
    PrintAboutText();
    pProtokoll.reset();
    platform::MapSerialPort(nInterface, "");
    return code;
}
