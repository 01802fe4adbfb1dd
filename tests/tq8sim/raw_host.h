// A deliberately tiny host for driving the simulated machine byte for byte: raw termios
// on the pty slave, nothing of the project's own serial code.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tq8sim/simulator.h"

namespace tq8sim_test {

using Bytes = std::vector<uint8_t>;

// How long a host waits for an answer that should come. Generous, so that a busy runner
// never turns a late answer into a failure; a wait for an answer that comes ends early.
inline constexpr int kAnswerLimitMs = 5000;

class RawHost {
  public:
    RawHost(std::string path, uint32_t rate);
    ~RawHost();
    RawHost(const RawHost&) = delete;
    RawHost& operator=(const RawHost&) = delete;

    bool Open(uint32_t rate);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    bool Send(const Bytes& bytes);
    // What came within the time limit, at most `count` bytes.
    Bytes Receive(size_t count, int timeoutMs = kAnswerLimitMs);
    Bytes Exchange(const Bytes& bytes, size_t count, int timeoutMs = kAnswerLimitMs) {
        Send(bytes);
        return Receive(count, timeoutMs);
    }
    // The answer of count bytes, then whatever else comes within quietMs (one byte is
    // enough to tell): equal to the expected answer only when nothing follows it.
    Bytes ExchangeThenQuiet(const Bytes& bytes, size_t count, int quietMs) {
        Bytes answer = Exchange(bytes, count);
        const Bytes more = Receive(1, quietMs);
        answer.insert(answer.end(), more.begin(), more.end());
        return answer;
    }
    // Whether the line has gone (hang-up or error) within the time limit.
    bool LineGone(int timeoutMs);

  private:
    std::string path_;
    int fd_ = -1;
};

Bytes Frame(uint16_t code);
Bytes WordBytes(uint16_t value);
Bytes DWordBytes(uint32_t value);
Bytes Concat(std::initializer_list<Bytes> parts);
uint32_t DWordAt(const Bytes& bytes, size_t at);

// Fast machine for tests: no erase or programming time, a short gap.
tq8sim::Options FastOptions();

// Waits until a transcript line contains `text`; the line is written just after the answer.
bool WaitForLine(const tq8sim::Simulator& simulator, const std::string& text,
                 int timeoutMs = kAnswerLimitMs);

// A started simulator on a fresh pty with a host connected at 9600 baud.
struct Rig {
    explicit Rig(tq8sim::Options options = FastOptions());
    tq8sim::Simulator simulator;
    RawHost host;
};

// A complete download exchange; returns every answer byte in order (frame ACK, start ACK,
// one per block, trailer answer), stopping at the first missing one.
// startLimitMs is how long it waits for the answer to the start request (erasing).
Bytes Download(RawHost& host, uint32_t start, const Bytes& data, bool correctTrailer = true,
               int startLimitMs = kAnswerLimitMs);

}  // namespace tq8sim_test
