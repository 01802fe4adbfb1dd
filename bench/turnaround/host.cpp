// turnaround-host: downloads N blocks through the real RS232 and ProtokollTQ8 to the
// machine at COMn and prints the median time per acknowledged 32-byte block.
//
//   turnaround-host [--port N] [--device PATH] [--blocks N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/console_session.h"
#include "platform/serial.h"
#include "protocol/protokoll_tq8.h"
#include "support/trace.h"

namespace {

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    // The core's boxes and progress windows go to the terminal.
    ConsoleSession session;
    int port = 7;
    uint32_t blocks = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--port") == 0) {
            port = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--device") == 0) {
            platform::MapSerialPort(port, argv[i + 1]);
        } else if (std::strcmp(argv[i], "--blocks") == 0) {
            blocks = static_cast<uint32_t>(std::atoi(argv[i + 1]));
        }
    }
    ProtokollTQ8 conn(nullptr, port);
    if (conn.fProtokollAktiv == 0) {
        std::fprintf(stderr, "turnaround-host: COM%d does not open\n", port);
        return 1;
    }
    const uint32_t start = 0x80000;
    if (conn.StartDownload(start, start + blocks * 32 - 1) != 1) {
        std::fprintf(stderr, "turnaround-host: the download was not accepted\n");
        return 1;
    }
    std::vector<double> perBlock;
    perBlock.reserve(blocks);
    uint8_t xorByte = 0;
    uint32_t sum = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
        uint8_t block[32];
        for (uint32_t i = 0; i < 32; ++i) {
            block[i] = static_cast<uint8_t>(b + i);
            xorByte ^= block[i];
            sum += block[i];
        }
        const auto t0 = std::chrono::steady_clock::now();
        if (conn.SendData(block, 32) != 1) {
            std::fprintf(stderr, "turnaround-host: block %u not acknowledged\n", b);
            return 1;
        }
        perBlock.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    conn.SendByte(xorByte);
    conn.SendDWord(sum);
    const int trailer = conn.WaitForAck();
    std::printf(
        "blocks %u, per block (write to ACK read): median %.1f us, p90 %.1f us, trailer %s\n",
        blocks, Median(perBlock), Percentile(perBlock, 0.9), trailer == 1 ? "ACK" : "failed");
    return trailer == 1 ? 0 : 1;
}
