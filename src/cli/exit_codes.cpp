#include "cli/exit_codes.h"

int ExitCodeFor(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::Succeeded:
            return kExitSuccess;
        case UpdateOutcome::Declined:
        case UpdateOutcome::OverviewDeclined:
            return kExitDeclined;
        case UpdateOutcome::NoConnection:
        case UpdateOutcome::ConnectionTest:
            return kExitNoConnection;
        case UpdateOutcome::FileError:
        case UpdateOutcome::LoadError:
            return kExitFileError;
        case UpdateOutcome::DownloadFailed:
        case UpdateOutcome::ChecksumFailed:
            return kExitUpdateFailed;
        case UpdateOutcome::Interrupted:
            return kExitInterrupted;
        case UpdateOutcome::None:
        case UpdateOutcome::Busy:
            break;
    }
    return kExitFailure;
}

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
           "  7    a line refused: two ports answered with the same serial number,\n"
           "       nothing was written\n"
           "  130  interrupted by Ctrl-C\n";
}
