#pragma once
// An update against the simulated machine on COM3, with the sample bundle in a private
// program directory and a private settings file. Every other COM port is absent unless a
// test binds it.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scripted_frontend.h"
#include "tq8sim/simulator.h"
#include "trace_capture.h"
#include "update/update_report.h"

inline constexpr int kMachinePort = 3;
inline WindowHandle const kOwner = reinterpret_cast<WindowHandle>(0x4711);

struct ImageFacts {
    uint32_t start = 0;
    uint32_t size = 0;
    uint8_t xorValue = 0;
    uint32_t sum = 0;
    uint32_t crc = 0;
};

class UpdateTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The transcript with each run of BLOCK lines that were acknowledged folded into one
    // "BLOCKS n" line, and the answers' variable parts kept.
    std::vector<std::string> Shape() const;
    // The transcript's lines that start with the prefix.
    std::vector<std::string> LinesStarting(const std::string& prefix) const;
    std::vector<std::string> Captions() const;
    // The image of a bundle file, loaded as the update loads it, with its check values.
    ImageFacts Facts(const char* name) const;
    // The settings file's "Interface", or the default when none is stored.
    int32_t StoredInterface(int32_t fallback = -99) const;
    void WriteFile(const char* name, const std::string& text) const;
    std::string ReadFile(const char* name) const;
    void RemoveFile(const char* name) const;

    // Returns once the exchanges so far have left their lines in the machine's transcript:
    // the machine writes a line just after its answer, so a host that has the answer may be
    // a moment ahead of it.
    void WaitForTranscriptToSettle() const;
    void ClearTranscriptWhenSettled();

    // Runs action from a window message once the machine has seen a download block.
    void WhenBlocksFlow(std::function<void()> action);

    // The exact exchange of a complete successful run from a machine in state 2.
    std::vector<std::string> SuccessfulShape() const;

    UpdateReport report_;
    std::string bundle_;
    std::string config_;
    TraceLevels levels_{4};
    TraceCapture trace_;
    tq8sim::Simulator sim_{SimOptions()};

    static tq8sim::Options SimOptions() {
        tq8sim::Options options;
        options.eraseMsPerKiB = 0;
        options.programUsPerBlock = 0;
        return options;
    }
};
