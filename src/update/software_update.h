#pragma once
// One complete, operator-confirmed firmware update, and the version overview it shows.

#include <cstddef>

#include "image/file_obj.h"
#include "platform/types.h"

class ProtokollTQ8;

inline constexpr const char* kProgramFileName = "TQ8-PROG.MOT";
inline constexpr const char* kTextFileName = "TQ8-TEXT.MOT";
inline constexpr int kOverviewCapacity = 1023;

// Runs the whole update on the calling thread with every box owned by owner. 1 when the
// download phase was entered, whatever its outcome; 0 when the update ended before it,
// and at once when an update is already running.
int SoftwareUpdate(WindowHandle owner);

// Where the last SoftwareUpdate ended, for callers that report it (the console's exit
// code). The values follow the procedure's order.
enum class UpdateOutcome {
    None,              // no update has run
    Declined,          // No at the first question
    Busy,              // another update held the connection
    NoConnection,      // Cancel in the interface selection
    FileError,         // a firmware file could not be opened
    ConnectionTest,    // the serial number could not be read
    LoadError,         // a file could not be loaded into its image
    OverviewDeclined,  // No at the version overview
    DownloadFailed,    // erase, block or trailer of a download failed
    ChecksumFailed,    // a checksum query failed or an area's checksums differ
    Interrupted,       // the operator stopped the download
    Succeeded,
};
UpdateOutcome LastUpdateOutcome();

// The machine's version (through pProtokoll, when one exists) and the file's, two lines
// into text: never more than capacity - 1 characters and the terminator.
void BuildVersionOverview(FileObj* file, char* text, int capacity);

// The same with the connection given, none for "not available".
void BuildVersionOverviewWith(ProtokollTQ8* connection, FileObj* file, char* text, int capacity);
