#pragma once
// What the system-information dialog shows: the fields its caller passed, bar by bar,
// and a few facts about the PC. Plain buffers only: the library is built without the C
// runtime (see sysinfo_dll.cpp).

#include <cstdint>

inline constexpr int kMaxComPorts = 32;

struct PcFacts {
    uint32_t windowsMajor = 0;  // 0 when unknown
    uint32_t windowsMinor = 0;
    uint32_t windowsBuild = 0;
    uint64_t totalMemoryMiB = 0;
    uint64_t freeMemoryMiB = 0;
    int comPorts[kMaxComPorts] = {};  // numbers of the present ports, ascending
    int comPortCount = 0;
};

// Writes the dialog's text into out (at most size - 1 characters and a terminator),
// lines broken with CR LF: every non-empty field of the bar-separated text on a line of
// its own, then the facts. Returns the length written.
int SysInfoReport(const char* fields, const PcFacts& facts, char* out, int size);
