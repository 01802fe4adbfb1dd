#pragma once
// The tq8flash commands that talk to the machine. Each returns the program's exit code
// (exit_codes.h) and leaves no connection behind.

#include <string>

// One complete update with the bundle in szProgramDirectory.
int RunUpdate();

// The search over COM1..COM8; save stores the port found as "Interface".
int RunSearch(bool save);

// The About text: versions of machine and file, serial number, update count and date.
int RunInfo();

// The system-information text of a connection opened on the selected port.
int RunSysinfo();

// The machine's three checksum reports; 0 only when saved and calculated agree in all.
int RunCheck();

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
