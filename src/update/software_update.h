#pragma once
// One complete, operator-confirmed firmware update, and the version overview it shows.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "image/file_obj.h"
#include "platform/types.h"
#include "update/update_report.h"

class ProtokollTQ8;

inline constexpr const char* kProgramFileName = "TQ8-PROG.MOT";
inline constexpr const char* kTextFileName = "TQ8-TEXT.MOT";
inline constexpr int kOverviewCapacity = 1023;

// Runs the whole update on the calling thread with every box owned by owner, and fills
// report (emptied first) with what it learned on the way. Where the update ended; Busy at
// once when an update is already running. confirmed, when given, is called once the
// operator has answered the first question Yes: from then on the update acts on the
// machine, and a stop request ends it through its own failure path.
UpdateOutcome PerformSoftwareUpdate(WindowHandle owner, UpdateReport& report,
                                    const std::function<void()>& confirmed = {});

// What a front end asks of one update beyond the described procedure.
struct UpdateRunOptions {
    // Called once the operator has answered the first question Yes (see above).
    std::function<void()> confirmed;
    // Told the bundle's check before the connection, whatever its state.
    std::function<void(const bundle::BundleCheck&)> bundleChecked;
    // The demo's simulated machine takes its sample bundle unchecked; every real update
    // checks it.
    bool checkBundle = true;
    // Set: an older version than the machine's may go on it in this run despite
    // RefuseDowngrade, for this reason, which the report keeps.
    std::optional<std::string> downgradeReason;
};

// With trusted keys installed, a bundle that fails its check is refused after the first
// question and before the connection (BundleRefused); under RefuseDowngrade an older
// version is refused after the version overview's reads (DowngradeRefused).
UpdateOutcome PerformSoftwareUpdate(WindowHandle owner, UpdateReport& report,
                                    const UpdateRunOptions& options);

// The same without a report: 1 when the download phase was entered, whatever its
// outcome; 0 when the update ended before it, and at once when an update is already
// running.
int SoftwareUpdate(WindowHandle owner);

// What the version overview read: variables 0 and 2384 when their reads succeeded, and
// the file's version when it has one.
struct VersionReads {
    std::optional<int16_t> machineVersion;
    std::optional<uint16_t> machineBuild;
    std::optional<uint32_t> fileVersion;
};

// The machine's version (through pProtokoll, when one exists) and the file's, two lines
// into text: never more than capacity - 1 characters and the terminator.
void BuildVersionOverview(FileObj* file, char* text, int capacity);

// The same with the connection given, none for "not available"; with reads given, it
// tells what it read.
void BuildVersionOverviewWith(ProtokollTQ8* connection, FileObj* file, char* text, int capacity,
                              VersionReads* reads = nullptr);
