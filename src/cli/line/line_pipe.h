#pragma once
// The words both sides of an update of several machines use: the command line the parent
// starts each child with, and the lines they pass through the child's pipes.
//
// The parent starts a child as
//   tq8flash update --line-child --port PORT --dir DIR [--record FILE] [--lang L] [--trace N]
//                   [--allow-downgrade --reason TEXT]
// and the child, one JSON object per line on its stdout, says the update --json progress
// events; once, at the version overview,
//   {"event":"ready","serial_number":4711,"machine_version":"1.02.5",
//    "file_version":"1.03.7","bytes":230400,"device":"/dev/serial/by-id/..."}
// and last the update's record (the line with "schema"). The parent answers on the child's
// stdin with "go" to update, anything else for No, and keeps that input open until the
// child ends, so that its end means the parent has gone.

namespace line_pipe {

// The child's command line. The options are the update command's own.
inline constexpr const char* kCommand = "update";
inline constexpr const char* kChildFlag = "--line-child";
inline constexpr const char* kPortOption = "--port";
inline constexpr const char* kDirOption = "--dir";
inline constexpr const char* kRecordOption = "--record";
inline constexpr const char* kLanguageOption = "--lang";
inline constexpr const char* kTraceOption = "--trace";
inline constexpr const char* kAllowDowngradeFlag = "--allow-downgrade";
inline constexpr const char* kReasonOption = "--reason";

// The parent's answer at the overview, one line.
inline constexpr const char* kGo = "go";
inline constexpr const char* kNo = "no";

// The child's events.
inline constexpr const char* kEvent = "event";
inline constexpr const char* kProgressEvent = "progress";
inline constexpr const char* kImage = "image";
inline constexpr const char* kPhase = "phase";
inline constexpr const char* kDownloadPhase = "download";
inline constexpr const char* kDone = "done";
inline constexpr const char* kTotal = "total";
inline constexpr const char* kReadyEvent = "ready";
inline constexpr const char* kSerialNumber = "serial_number";
inline constexpr const char* kMachineVersion = "machine_version";
inline constexpr const char* kFileVersion = "file_version";
inline constexpr const char* kBytes = "bytes";
inline constexpr const char* kDevice = "device";

// The child's record: the one line that has a schema, and its outcome.
inline constexpr const char* kRecordSchema = "schema";
inline constexpr const char* kRecordOutcome = "outcome";

}  // namespace line_pipe
