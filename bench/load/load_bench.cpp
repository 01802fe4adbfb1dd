// Load time of a 10 MB S-record file (three scans, 0xFF fill, CRC-32) against
// `srec_cat FILE -motorola -o out.bin -binary` on the same file, in the same run.
// Usage: bench_load [MEGABYTES] [ROUNDS]

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/console_session.h"
#include "image/load_mot.h"
#include "srecgen.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    // The core's boxes and progress windows go to the terminal.
    ConsoleSession session;
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tq8bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "TQ8-PROG.MOT").string();

    // S2 records of 32 bytes (78 characters with CR LF), a few gaps, from 0x4000.
    srecgen::Options options;
    options.type = 2;
    options.recordLength = 32;
    const auto records = static_cast<uint32_t>(megabytes * 1e6 / 78);
    options.segments = {{0x4000, records * 32}};
    options.gaps = 50;
    std::string error;
    const srecgen::Output out = srecgen::Generate(options, error);
    if (out.text.empty() || !srecgen::WriteBytes(path, out.text) ||
        !srecgen::WriteChecksum(dir.string(), "TQ8-PROG.MOT", out.crc)) {
        std::fprintf(stderr, "bench_load: cannot write the test file (%s)\n", error.c_str());
        return 1;
    }

    LoadOptions loadOptions;
    loadOptions.checksumDirectory = dir.string();
    loadOptions.maintainerStep = false;
    loadOptions.messageBoxes = false;
    std::vector<double> ours;
    for (int r = 0; r < rounds; ++r) {
        FileObj file;
        MemoryImage image;
        uint32_t start = 0;
        uint32_t size = 0;
        const auto t0 = Clock::now();
        const bool ok =
            file.fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                       platform::kOpenExisting, platform::kFileAttributeNormal, 0) == 1 &&
            LoadMotFileWith(file, image, start, size, loadOptions) == 1;
        ours.push_back(Seconds(Clock::now() - t0));
        if (!ok) {
            std::fprintf(stderr, "bench_load: the load failed\n");
            return 1;
        }
    }

    const std::string command =
        "srec_cat '" + path + "' -motorola -o '" + (dir / "out.bin").string() + "' -binary";
    std::vector<double> theirs;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        const int status = std::system(command.c_str());
        theirs.push_back(Seconds(Clock::now() - t0));
        if (status != 0) {
            std::fprintf(stderr, "bench_load: srec_cat failed (is it installed?)\n");
            return 1;
        }
    }
    fs::remove_all(dir);

    const double a = Median(ours);
    const double b = Median(theirs);
    std::printf("file           %.1f MB, %u records, image %zu bytes\n", out.text.size() / 1e6,
                records, out.image.size());
    std::printf("LoadMotFile    %8.1f ms  (%.0f MB/s, median of %d)\n", a * 1e3,
                out.text.size() / 1e6 / a, rounds);
    std::printf("srec_cat       %8.1f ms  (median of %d)\n", b * 1e3, rounds);
    std::printf("ratio          %8.2f x faster (goal: 4)\n", b / a);
    return 0;
}
