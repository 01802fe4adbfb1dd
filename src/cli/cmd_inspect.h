#pragma once
// tq8flash inspect FILE... [--output IMAGE]

#include <string>
#include <vector>

struct InspectOptions {
    std::vector<std::string> files;  // S-record files, as given
    std::string output;              // "" writes no image
    bool json = false;               // one JSON document instead of the text
};

// Prints what the loader reads from each S-record file and whether its image verifies
// against the TQ8-CRC.INI beside it. 0 when every file loads and verifies.
int RunInspect(const InspectOptions& options);
