// RawDownload through the real RS232 and ProtokollTQ8 against the paced simulator at
// 38400 baud, timed in the same run as the minimal termios host of the simulator's own
// benchmark, and both against the lower bound: the wire time of every byte both ways
// plus the machine's stated erase and programming time.
//
// host_per_minimal is what the project's serial and protocol code costs over a host that
// does nothing but write and read; host_per_bound is what the whole stack costs over the
// line itself.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "platform/serial.h"
#include "protocol/connection.h"
#include "raw_host.h"
#include "update/raw_download.h"

namespace {

using tq8sim_test::Bytes;

constexpr uint32_t kStart = 0x4000;
constexpr uint32_t kRate = 38400;
constexpr int kPort = 5;

// Each repetition is a call of its own; the order of the two hosts alternates across them.
bool gProductFirst = false;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

tq8sim::Options PacedOptions(uint32_t rate) {
    tq8sim::Options options;
    options.pace = true;
    options.rate = rate;
    return options;
}

double LowerBound(uint32_t size, const tq8sim::Options& options) {
    const uint32_t blocks = size / 32;
    // Frame + ACK, guard and range + ACK, blocks with their ACKs, trailer + ACK.
    const double wireBytes = 3 + 1 + 12 + 1 + blocks * 33.0 + 5 + 1;
    return wireBytes * 10.0 / kRate + ((size + 1023) / 1024) * options.eraseMsPerKiB / 1000.0 +
           blocks * options.programUsPerBlock / 1e6;
}

// The simulator's own minimal host; a negative time when the download failed.
double MinimalHost(const Bytes& data) {
    tq8sim::Simulator machine(PacedOptions(kRate));
    if (!machine.CreatePty() || !machine.Start()) {
        return -1;
    }
    tq8sim_test::RawHost host(machine.DevicePath(), kRate);
    const auto begin = std::chrono::steady_clock::now();
    const Bytes answers = tq8sim_test::Download(host, kStart, data);
    const double seconds = Seconds(begin);
    return answers == Bytes(data.size() / 32 + 3, 0x06) ? seconds : -1;
}

// The product's path: connected at 9600 baud, switched to 38400 by the protocol, then
// only the download is timed.
double ProductHost(const Bytes& data) {
    tq8sim::Simulator machine(PacedOptions(9600));
    if (!machine.CreatePty() || !machine.Start()) {
        return -1;
    }
    platform::MapSerialPort(kPort, machine.DevicePath());
    double seconds = -1;
    if (Schnittstelle_initialisieren(nullptr, kPort, 0) == 1 &&
        pProtokoll->SetBaudRate(nullptr, kPort, kRate) == 1) {
        const auto begin = std::chrono::steady_clock::now();
        const int ok =
            RawDownload(nullptr, data.data(), kStart, static_cast<uint32_t>(data.size()), "bench");
        seconds = ok == 1 ? Seconds(begin) : -1;
    }
    CloseConnection();
    platform::MapSerialPort(kPort, "");
    return seconds;
}

void PacedRawDownload(benchmark::State& state) {
    const auto size = static_cast<uint32_t>(state.range(0));
    Bytes data(size);
    for (uint32_t i = 0; i < size; ++i) {
        data[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    const double bound = LowerBound(size, PacedOptions(kRate));
    double minimal = 0;
    double host = 0;
    for (auto _ : state) {
        // Alternate the order, so that a machine getting busier or quieter during the run
        // does not always favour the same host.
        if (gProductFirst) {
            host = ProductHost(data);
            minimal = MinimalHost(data);
        } else {
            minimal = MinimalHost(data);
            host = ProductHost(data);
        }
        gProductFirst = !gProductFirst;
        if (minimal < 0 || host < 0) {
            state.SkipWithError(minimal < 0 ? "minimal host: download failed"
                                            : "RawDownload failed");
            break;
        }
        state.SetIterationTime(host);
    }
    state.counters["bound_s"] = bound;
    state.counters["minimal_s"] = minimal;
    state.counters["host_s"] = host;
    state.counters["host_per_minimal"] = minimal > 0 ? host / minimal : 0;
    state.counters["host_per_bound"] = host / bound;
    state.counters["minimal_per_bound"] = minimal / bound;
}

BENCHMARK(PacedRawDownload)
    ->Arg(8 * 1024)
    ->Arg(64 * 1024)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
