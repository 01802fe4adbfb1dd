#pragma once
// What one update learned, filled as the procedure goes: the outcome, what the machine
// and the files said, and where the update stopped. Plain data; whoever keeps or shows it
// decides its form.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bundle/bundle_check.h"

// Where an update ended. The values follow the procedure's order.
enum class UpdateOutcome {
    None,              // no update has run
    Declined,          // No at the first question
    Busy,              // another update held the connection
    BundleRefused,     // trusted keys are installed and the bundle failed them
    NoConnection,      // Cancel in the interface selection
    FileError,         // a firmware file could not be opened
    ConnectionTest,    // the serial number could not be read
    LoadError,         // a file could not be loaded into its image
    DowngradeRefused,  // RefuseDowngrade: the file's version is older than the machine's
    OverviewDeclined,  // No at the version overview
    DownloadFailed,    // erase, block or trailer of a download failed
    ChecksumFailed,    // a checksum query failed or an area's checksums differ
    Interrupted,       // the operator stopped the update (Ctrl-C)
    Succeeded,
};

// The step at which an update that failed stopped.
enum class UpdateStep {
    None,
    OpenFile,       // a firmware file could not be opened
    SerialNumber,   // command 4 for variable 2398
    LoadImage,      // a file could not be loaded into its image
    StartDownload,  // command 7: the erase was refused or not answered
    Block,          // a 32-byte block was not acknowledged
    Trailer,        // the trailer was not acknowledged
    Stopped,        // the operator stopped the download before a block
    Checksum,       // command 10 failed, or an area's checksums differ
    Bundle,         // the firmware bundle was refused before the connection
    Downgrade,      // RefuseDowngrade: the file is older than the machine's software
};

struct UpdateImageReport {
    std::string file;  // the path as opened
    uint32_t start = 0;
    uint32_t end = 0;  // the last address
    uint32_t size = 0;
    uint32_t crc32 = 0;
    std::optional<uint32_t> trailerSum;  // the 32-bit sum of the trailer, once sent
};

struct UpdateChecksumReport {
    uint16_t area = 0;  // 0 bootloader, 1 application, 2 display texts
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t saved = 0;
    uint32_t calculated = 0;
    bool agree = false;
};

struct UpdateFailurePoint {
    UpdateStep step = UpdateStep::None;
    std::optional<int> image;       // index into UpdateReport::images (0 program, 1 texts)
    std::optional<uint32_t> block;  // the block's number within its image, from 0
    std::optional<uint16_t> area;   // the first checksum area that failed
};

struct UpdateReport {
    UpdateOutcome outcome = UpdateOutcome::None;
    std::optional<int16_t> serialNumber;          // variable 2398
    std::optional<int16_t> machineVersion;        // variable 0: major * 100 + minor
    std::optional<uint16_t> machineBuild;         // variable 2384
    std::optional<uint32_t> fileVersion;          // the program file's version record
    std::vector<UpdateImageReport> images;        // program, then texts, as loaded
    std::vector<UpdateChecksumReport> checksums;  // the areas that answered
    std::optional<uint16_t> updateCounter;        // variable 62 as written
    UpdateFailurePoint failure;

    // The bundle's check; none when the run skipped it (the demo's simulated machine).
    std::optional<bundle::BundleCheck> bundle;
    // Why an older version was allowed onto the machine, when --allow-downgrade allowed it.
    std::optional<std::string> downgradeReason;
};
