#pragma once
// What an update's outcome means to the programs around it: the exit codes of tq8flash,
// documented in its --help and the README, which the records of both programs name.

#include "update/software_update.h"

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;       // anything else that went wrong
inline constexpr int kExitUsage = 2;         // the command line could not be read
inline constexpr int kExitDeclined = 3;      // the operator answered No or cancelled
inline constexpr int kExitNoConnection = 4;  // no machine answered
inline constexpr int kExitFileError = 5;     // a firmware file could not be opened or loaded
inline constexpr int kExitUpdateFailed = 6;  // a download or a checksum failed
// Refused before any download: a line with one machine on two ports, a firmware bundle not
// signed by a trusted key or not matching its manifest, or an older version than the
// machine's under RefuseDowngrade.
inline constexpr int kExitRefused = 7;
inline constexpr int kExitInterrupted = 130;  // Ctrl-C

// The exit code for how the last update ended.
int ExitCodeFor(UpdateOutcome outcome);
