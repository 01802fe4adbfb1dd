#pragma once
// A connection to the simulated machine with the trace at full detail.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/protokoll_tq8.h"
#include "scripted_frontend.h"
#include "sim_link.h"
#include "trace_capture.h"

using Bytes = std::vector<uint8_t>;

inline WindowHandle const kProtocolWindow = reinterpret_cast<WindowHandle>(0x0815);

class Protocol : public ::testing::Test {
  protected:
    void SetUp() override {
        scripted::Reset();
        sim = SimLink::Start();
        if (!sim) {
            GTEST_SKIP() << "no simulated machine (under wine: scripts/test-wine-serial.sh)";
        }
        conn = std::make_unique<ProtokollTQ8>(kProtocolWindow, sim->Port());
        ASSERT_EQ(conn->fProtokollAktiv, 1);
        sim->ClearTranscript();
        trace.Clear();
    }
    void TearDown() override {
        conn.reset();
        if (sim && !sim->Vanished()) {
            // Ending the poll thread's wait is no failure of the wait.
            EXPECT_EQ(trace.CountPrefix("{cr}*WaitCommEvent"), 0U);
        }
        sim.reset();
    }

    // The bytes of every dump with the label, in order.
    std::vector<Bytes> DumpsOf(const std::string& label) const {
        std::vector<Bytes> out;
        for (const auto& dump : trace.Dumps()) {
            if (dump.label == label) {
                out.push_back(dump.bytes);
            }
        }
        return out;
    }
    std::vector<Bytes> Sent() const { return DumpsOf("{cm}TX: "); }
    std::vector<Bytes> Received() const { return DumpsOf("{cc}RX: "); }

    // The transcript once it holds at least count lines (the machine writes a line
    // after it has answered).
    std::vector<std::string> TranscriptOf(size_t count) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        auto lines = sim->Transcript();
        while (lines.size() < count && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            lines = sim->Transcript();
        }
        return lines;
    }

    TraceLevels levels{5};
    TraceCapture trace;
    std::unique_ptr<SimLink> sim;
    std::unique_ptr<ProtokollTQ8> conn;
};
