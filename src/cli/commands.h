#pragma once
// The tq8flash commands that talk to the machine. Each returns the program's exit code
// (exit_codes.h) and leaves no connection behind.

#include <cstdint>
#include <optional>
#include <string>

struct UpdateOptions {
    std::string record;  // the record file; "" for the setting or the default
    std::string port;    // --port as given, for the record's port
    bool json = false;   // progress events and the record as JSON lines on stdout
    bool keepRecord = true;
    bool recordToFile = true;  // false: the record goes to stdout only (a line's child)
    struct UpdateReport* report = nullptr;  // where the report is kept, for a watcher; or none
};

// One complete update with the bundle in szProgramDirectory. Every update that reached
// the connection step appends its record to the record file.
int RunUpdate(const UpdateOptions& options);

// The child of a line update (line/line_child.cpp): one update for its port, answering the
// parent's go or no-go at the version overview.
int RunLineChild(UpdateOptions options);
// Called first of all in a line's child: from here on its stdout carries only the lines
// for its parent, and a parent that has gone stops the update as a Ctrl-C does.
void StartLineChildOutput();

// The search over COM1..COM8; save stores the port found as "Interface", and with it the
// binding of a device that portOption (--port) gave that port for this run.
int RunSearch(bool save, bool json, const std::string& portOption);

// The About text: versions of machine and file, serial number, update count and date.
int RunInfo();
// The same values as one JSON document.
int RunInfoJson();

// The system-information text of a connection opened on the selected port.
int RunSysinfo();
int RunSysinfoJson();

// The machine's three checksum reports; 0 only when saved and calculated agree in all.
int RunCheck(bool json);

struct LogOptions {
    std::string record;             // the record file; "" for the setting or the default
    std::optional<int32_t> serial;  // only the records of this serial number, either form
    int last = 20;                  // how many of the newest records
    bool json = false;              // the records' lines as they are
};

// The newest records of the record file as a table, or as their JSON lines.
int RunLog(const LogOptions& options);

struct DemoOptions {
    std::string dir;  // the bundle; "" looks for the sample firmware
    bool pace = false;
};

// Whether this build has the simulated machine, and the demo's help line.
bool DemoAvailable();
const char* DemoDescription();

// A complete update of the sample firmware on a simulated machine, then its About text.
int RunDemo(const DemoOptions& options);

// Prints the About text of the current connection (opening one on the selected port
// when none exists); true when a machine answered.
bool PrintAboutText();
