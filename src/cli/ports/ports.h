#pragma once
// Serial ports as the platform knows them, around the described COM1..COM8: the list,
// pinning adapters to port numbers, the rule for a machine with nothing configured, and
// the fix for a port that cannot be opened.

#include <cstdio>
#include <string>

#include "platform/port_discovery.h"

// A selector given with --port becomes the stable name of the one adapter it matches.
// False, with what was found on stderr, when it matches none or several.
bool ResolvePortOption(std::string& port);

// Without a [Ports] section and without --port, search, update, info, check, sysinfo and
// ports take one USB serial adapter (ttyUSB, ttyACM) as COM1, and as the selected port when
// none is stored; with several they guess none and list them, and "tq8flash ports --save"
// pins them to COM1, COM2, ... in that order. main() calls it for exactly those commands.
void ApplyUnconfiguredPortRule();

// A port stored as the selected one under --port DEVICE: --port binds DEVICE to that port
// for one run only, so [Ports] binds it too, or the port would open another device in the
// next run. Says so on out; false when the settings file cannot be written.
bool StorePortBinding(int port, const std::string& device, std::FILE* out);

// After a run that reached no machine: why the port could not be opened, and the fix.
// port is the port selected before the run; 0 explains every bound port of the search.
void ExplainPortFailure(int port);

// Before an update: an adapter whose driver refused the low-latency mode and that holds
// answers back for more than 2 ms is named once, with the fix.
void NoteAdapterLatency();

// A process that holds a port, as a person reads it: "pid 1234 (minicom)".
std::string HolderText(const platform::PortHolder& holder);

// The rule of ApplyUnconfiguredPortRule for --help and the README.
const char* UnconfiguredPortRuleHelp();
