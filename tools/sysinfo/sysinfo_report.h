#pragma once
// What the system-information dialog shows: the fields its caller passed, bar by bar,
// and a few facts about the PC.

#include <cstdint>
#include <string>
#include <vector>

struct PcFacts {
    std::string windowsVersion;  // "10.0 (build 19045)", "" when unknown
    uint64_t totalMemoryMiB = 0;
    uint64_t freeMemoryMiB = 0;
    std::vector<std::string> comPorts;  // present ports, ascending
};

// The non-empty fields of a bar-separated text ("|COM2|Kovra TQ VIII (...)|").
std::vector<std::string> SplitFields(const char* text);

// The dialog's text, lines broken with CR LF.
std::string SysInfoReport(const char* fields, const PcFacts& facts);
