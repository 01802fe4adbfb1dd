#pragma once
// Shared pieces of the serial tests: a pty peer bound to a COM port number, the trace
// at full detail, the scripted front end reset, and a fault-injecting system-call table.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/posix/serial_sys.h"
#include "platform/serial.h"
#include "pty_peer.h"
#include "scripted_frontend.h"
#include "trace_capture.h"

inline constexpr int kPeerPort = 5;

// Polls pred every millisecond until it holds or ms have passed.
inline bool Eventually(const std::function<bool()>& pred, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Installs a copy of the default system calls that a test may change; the defaults come
// back at the end of its life.
class FaultTable {
  public:
    FaultTable() : table_(platform::NativeSerialCalls()) {}
    ~FaultTable() { platform::RestoreSerialCalls(); }
    FaultTable(const FaultTable&) = delete;
    FaultTable& operator=(const FaultTable&) = delete;
    platform::SerialCalls& Edit() { return table_; }
    void Install() { platform::SetSerialCalls(table_); }

  private:
    platform::SerialCalls table_;
};

class PeerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Ok());
        platform::MapSerialPort(kPeerPort, peer.SlavePath());
        scripted::Reset();
    }
    void TearDown() override { platform::MapSerialPort(kPeerPort, ""); }

    PtyPeer peer;
    TraceLevels levels{5};
    TraceCapture trace;
};

// Index of the first trace line equal to text, or -1.
inline int LineIndex(const std::vector<std::string>& lines, const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
