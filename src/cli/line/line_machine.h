#pragma once
// What the parent of a line update knows of one machine: what its child said and how the
// child ended.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/child_process.h"

struct LineMachine {
    std::string port;
    bool started = false;  // the child runs (or ran)
    bool ready = false;    // the child answered at the overview
    bool told = false;     // the child was told to go: its machine may be written to
    bool refused = false;  // the line was refused; the child was told No for that
    std::optional<uint32_t> serial;
    std::optional<std::string> machineVersion;
    std::optional<std::string> fileVersion;
    std::optional<std::string> device;  // the device behind the port, as the child found it
    uint64_t bytes = 0;                 // both images

    std::string phase;           // the last progress event's phase, "" before the first
    std::string image;           // the file of the download under way
    uint64_t finishedBytes = 0;  // of the images downloaded before this one
    uint64_t imageDone = 0;
    uint64_t imageTotal = 0;
    bool rateStarted = false;
    uint32_t rateStartMs = 0;
    uint64_t rateStartBytes = 0;

    std::chrono::system_clock::time_point startTime;
    uint32_t startMs = 0;
    uint32_t endMs = 0;
    bool ended = false;
    std::string record;                  // the child's record line, "" when none came
    std::optional<std::string> outcome;  // the record's outcome
    platform::ChildExit exit;
    std::string errors;  // what the child wrote on stderr

    uint64_t Done() const { return finishedBytes + imageDone; }
    bool Completed() const { return ended && ExitCode() == 0; }
    // Whether the child ended abnormally (a signal) after it was told to go.
    bool LostInUpdate() const { return ended && told && (exit.signal != 0 || exit.code < 0); }
    // The child's exit code. A child that ended abnormally counts as a failed download
    // once its machine was told to go, else as "any other failure"; a No for a refused
    // line counts as the refusal.
    int ExitCode() const;
};

// One line the child wrote, as the object it must be; anything else (a number, a text, a
// broken line) is kept with what the child wrote on stderr.
std::optional<nlohmann::json> ChildLineObject(LineMachine& machine, const std::string& text);

// Takes one line the child wrote. True when it was the record.
bool ApplyChildLine(LineMachine& machine, const nlohmann::json& line, uint32_t nowMs);

// 0 when every machine completed; else the worst child's code: interrupted, then a failed
// download or checksum, then a refused line, then no connection, then the rest in the
// order of the machines.
int WorstExitCode(const std::vector<LineMachine>& machines);
