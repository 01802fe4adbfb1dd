// A paced download at 38400 baud through the simulator's pty, against its lower bound:
// the wire time of every byte both ways plus the machine's stated erase and programming
// time. "ratio" is what the simulator and a minimal host add on top of it.
#include <benchmark/benchmark.h>

#include <chrono>

#include "raw_host.h"

namespace {

using tq8sim_test::Bytes;

void PacedDownload(benchmark::State& state) {
    const auto size = static_cast<uint32_t>(state.range(0));
    tq8sim::Options options;
    options.pace = true;
    options.rate = 38400;
    tq8sim::Simulator simulator(options);
    simulator.CreatePty();
    simulator.Start();
    tq8sim_test::RawHost host(simulator.DevicePath(), 38400);
    Bytes data(size);
    for (uint32_t i = 0; i < size; ++i) {
        data[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    const double byteSeconds = 10.0 / options.rate;
    const uint32_t blocks = size / 32;
    // Frame + ACK, request + ACK, blocks with their ACKs, trailer + ACK.
    const double wireBytes = 3 + 1 + 12 + 1 + blocks * 33.0 + 5 + 1;
    const double lowerBound = wireBytes * byteSeconds +
                              ((size + 1023) / 1024) * options.eraseMsPerKiB / 1000.0 +
                              blocks * options.programUsPerBlock / 1e6;
    double ratio = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        const Bytes answers = tq8sim_test::Download(host, 0x4000, data);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (answers != Bytes(blocks + 3, 0x06)) {
            state.SkipWithError("download failed");
            break;
        }
        ratio = seconds / lowerBound;
        state.SetIterationTime(seconds);
    }
    state.counters["lower_bound_s"] = lowerBound;
    state.counters["ratio"] = ratio;
}

BENCHMARK(PacedDownload)
    ->Arg(8 * 1024)
    ->Arg(64 * 1024)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
