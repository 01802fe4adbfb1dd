#include "update/exit_codes.h"

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
        case UpdateOutcome::BundleRefused:
        case UpdateOutcome::DowngradeRefused:
            return kExitRefused;
        case UpdateOutcome::Interrupted:
            return kExitInterrupted;
        case UpdateOutcome::None:
        case UpdateOutcome::Busy:
            break;
    }
    return kExitFailure;
}
