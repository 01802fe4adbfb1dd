#pragma once
// The options every command takes, and how they set up one run without storing anything.

#include <string>
#include <vector>

class ConsoleSession;

struct RunOptions {
    std::string port;                // "COMn" or a device path; "" keeps the stored selection
    std::vector<std::string> ports;  // every --port given; several only for update
    std::string dir;                 // the firmware bundle's folder; "" for the current directory
    bool yes = false;
    bool no = false;
    std::string lang;  // "en", "de" or "" for the locale's language
    int trace = 0;     // 2..5, or 0 to keep the stored levels

    // The one --port as the operator gave it, before a selector is resolved; "" for none
    // and for several.
    std::string PortGiven() const { return ports.size() == 1 ? ports.front() : std::string(); }
};

// The port number of "COMn" (any case, n 1..255), or 0 for anything else.
int ComPortNumber(const std::string& name);

// Sets the run's language from --lang; the locale's stays without it.
void ApplyLanguageOption(const RunOptions& options);

// Applies the options to the run: the session's answers, and the process-wide language,
// trace levels, selected port and program directory. False with a message on stderr when
// an option cannot be used.
bool ApplyRunOptions(ConsoleSession& session, const RunOptions& options);

// The folder the firmware bundle is taken from when no --dir is given.
std::string CurrentDirectory();
