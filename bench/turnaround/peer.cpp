// turnaround-peer: a machine that only downloads, on a pty, and times the host: from
// the moment it has written a block's ACK to the moment the next block's first byte
// arrives. That is the host's turnaround plus one pty hop each way.
//
//   turnaround-peer [--link PATH]   prints the slave path, serves one download, reports

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int gMaster = -1;

// Reads exactly count bytes; the time the first of them arrived goes to first.
bool ReadBytes(uint8_t* out, size_t count, Clock::time_point* first = nullptr) {
    size_t got = 0;
    while (got < count) {
        pollfd p{gMaster, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) {
            return false;
        }
        if ((p.revents & POLLIN) == 0) {
            // No host on the slave yet (or it reopened): look again shortly.
            usleep(1000);
            continue;
        }
        const ssize_t n = read(gMaster, out + got, count - got);
        if (n <= 0) {
            usleep(1000);
            continue;
        }
        if (got == 0 && first != nullptr) {
            *first = Clock::now();
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

void Ack() {
    const uint8_t ack = 0x06;
    (void)!write(gMaster, &ack, 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::string link;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--link") == 0) {
            link = argv[i + 1];
        }
    }
    gMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (gMaster < 0 || grantpt(gMaster) != 0 || unlockpt(gMaster) != 0 ||
        ptsname_r(gMaster, name, sizeof name) != 0) {
        std::perror("turnaround-peer: pty");
        return 1;
    }
    termios tio{};
    tcgetattr(gMaster, &tio);
    cfmakeraw(&tio);
    tcsetattr(gMaster, TCSANOW, &tio);
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(name, link.c_str()) != 0) {
            std::perror("turnaround-peer: link");
            return 1;
        }
    }
    std::printf("%s\n", name);
    std::fflush(stdout);

    // The download frame: 11 00 07, guard, start, end.
    uint8_t frame[3];
    if (!ReadBytes(frame, 3) || frame[0] != 0x11 || frame[2] != 0x07) {
        std::fprintf(stderr, "turnaround-peer: no download frame\n");
        return 1;
    }
    Ack();
    uint8_t range[12];
    if (!ReadBytes(range, 12)) {
        return 1;
    }
    const uint32_t first =
        uint32_t{range[4]} << 24 | uint32_t{range[5]} << 16 | uint32_t{range[6]} << 8 | range[7];
    const uint32_t last =
        uint32_t{range[8]} << 24 | uint32_t{range[9]} << 16 | uint32_t{range[10]} << 8 | range[11];
    const uint32_t blocks = (last - first + 1) / 32;
    Ack();
    std::vector<double> turnaround;
    Clock::time_point acked{};
    for (uint32_t b = 0; b < blocks; ++b) {
        uint8_t block[32];
        Clock::time_point arrived{};
        if (!ReadBytes(block, 32, &arrived)) {
            std::fprintf(stderr, "turnaround-peer: block %u missing\n", b);
            return 1;
        }
        if (b > 0) {
            turnaround.push_back(
                std::chrono::duration<double, std::micro>(arrived - acked).count());
        }
        Ack();
        acked = Clock::now();
    }
    uint8_t trailer[5];
    if (ReadBytes(trailer, 5)) {
        Ack();
    }
    usleep(100000);
    if (!link.empty()) {
        unlink(link.c_str());
    }
    std::sort(turnaround.begin(), turnaround.end());
    if (turnaround.empty()) {
        return 1;
    }
    std::printf(
        "blocks %u, host turnaround (ACK written -> next block arrives): median %.1f us, "
        "p90 %.1f us\n",
        blocks, turnaround[turnaround.size() / 2], turnaround[turnaround.size() * 9 / 10]);
    return 0;
}
