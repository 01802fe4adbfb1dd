#include "cli/help_footer.h"

#include "cli/bundle_text.h"
#include "cli/ports/ports.h"
#include "platform/settings_store.h"
#include "record/record_file.h"

namespace {

// The meaning of each code of update/exit_codes.h.
const char* ExitCodeHelp() {
    return "Exit codes:\n"
           "  0    success (update: completed and all three checksums agree)\n"
           "  1    any other failure\n"
           "  2    the command line could not be read\n"
           "  3    declined: No to a question\n"
           "  4    no connection: no machine answered (update: and the interface\n"
           "       selection was cancelled, always so without a terminal), or the\n"
           "       machine's serial number could not be read\n"
           "  5    a firmware file could not be opened or loaded\n"
           "  6    a download or a checksum failed (check: a checksum disagrees; a\n"
           "       line: a machine's update ended abnormally once it was told to go)\n"
           "  7    refused before anything was written: a line whose two ports answered\n"
           "       with the same serial number; a firmware bundle not signed by a trusted\n"
           "       key, or not matching its manifest (bundle verify: the same); an older\n"
           "       version than the machine's under the RefuseDowngrade setting\n"
           "  130  interrupted by Ctrl-C\n";
}

}  // namespace

std::string HelpFooter() {
    const std::string settings = platform::SettingsFilePath();
    const std::string records = DefaultRecordPath();
    return std::string("\n") + ExitCodeHelp() + "\n" +
           (settings.empty() ? "" : UnconfiguredPortRuleHelp()) + "\nSettings are kept in " +
           (settings.empty() ? std::string("the registry (HKCU\\SOFTWARE\\Ostrelwerk\\TQ8Flash)")
                             : settings) +
           ".\nEvery update that reaches the connection step appends one JSON line to the "
           "record file: --record FILE, else the RecordFile setting, else " +
           (records.empty() ? std::string("none") : records) +
           ".\nFirmware bundles must be signed by a key in a trusted-keys folder once one "
           "holds a key: " +
           TrustedKeyFolderList() +
           ".\nTrace lines go to the debug-output library when it is installed beside the "
           "program.\n";
}
