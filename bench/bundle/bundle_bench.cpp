// Time of a signed bundle's check (trusted keys read, manifest and signature verified,
// every file hashed, the program file's version and target read) against the load of
// the same bundle's two images: first the sample bundle, then one with a 4 MiB program
// file. Goals: under 50 ms and under 100 ms.
// Usage: bench_bundle [ROUNDS] [SAMPLE_DIR]

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bundle/bundle_check.h"
#include "bundle/bundle_make.h"
#include "cli/console_session.h"
#include "image/load_mot.h"
#include "srecgen.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename Work>
double MedianMs(int rounds, Work work) {
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        if (!work()) {
            return -1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return Median(times);
}

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool LoadBoth(const fs::path& dir) {
    LoadOptions options;
    options.checksumDirectory = dir.string();
    options.maintainerStep = false;
    options.messageBoxes = false;
    for (const char* name : {"TQ8-PROG.MOT", "TQ8-TEXT.MOT"}) {
        FileObj file;
        MemoryImage image;
        uint32_t start = 0;
        uint32_t size = 0;
        if (file.fopen((dir / name).c_str(), platform::kGenericRead, platform::kFileShareRead,
                       platform::kOpenExisting, platform::kFileAttributeNormal, 0) != 1 ||
            LoadMotFileWith(file, image, start, size, options) != 1) {
            return false;
        }
    }
    return true;
}

// Signs the bundle in dir with the key; false when minisign failed.
bool Sign(const fs::path& dir, const fs::path& secret) {
    std::string failed;
    return bundle::WriteManifest(dir.string(), "bench", failed) == bundle::MakeResult::Ok &&
           Run("minisign -S -s '" + secret.string() + "' -m '" + (dir / "TQ8-BUNDLE.INI").string() +
               "' -t bench");
}

void Report(const char* what, const fs::path& dir, const fs::path& keys, int rounds,
            double goalMs) {
    uintmax_t bytes = 0;
    for (const char* name : {"TQ8-PROG.MOT", "TQ8-TEXT.MOT", "TQ8-CRC.INI"}) {
        bytes += fs::file_size(dir / name);
    }
    bool verified = true;
    const double check = MedianMs(rounds, [&] {
        const bundle::TrustedKeys trusted = bundle::LoadTrustedKeys({keys.string()});
        verified =
            bundle::CheckBundle(dir.string(), trusted).state == bundle::BundleState::Verified;
        return verified;
    });
    const double load = MedianMs(rounds, [&] { return LoadBoth(dir); });
    std::printf("%-22s %7.2f MiB  check %7.2f ms (goal < %.0f ms)%s  image load %7.2f ms\n", what,
                bytes / 1048576.0, check, goalMs, verified ? "" : " NOT VERIFIED", load);
}

}  // namespace

int main(int argc, char** argv) {
    // The core's boxes go to the terminal.
    ConsoleSession session;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const fs::path sample = argc > 2 ? fs::path(argv[2]) : fs::path(TQ8_SAMPLE_FIRMWARE);
    const fs::path root = fs::temp_directory_path() / ("tq8bundle-" + std::to_string(::getpid()));
    const fs::path keys = root / "keys";
    const fs::path small = root / "sample";
    const fs::path large = root / "large";
    // Without SI and SV records the version and target are looked for to the file's end.
    const fs::path bare = root / "bare";
    fs::create_directories(keys);
    fs::copy(sample, small, fs::copy_options::recursive);
    for (const fs::path& dir : {large, bare}) {
        fs::create_directories(dir);
        fs::copy_file(sample / "TQ8-TEXT.MOT", dir / "TQ8-TEXT.MOT");
        fs::copy_file(sample / "TQ8-CRC.INI", dir / "TQ8-CRC.INI");
    }

    // A program file of 4 MiB: S2 records of 32 bytes, 78 characters each with CR LF, with
    // its target identifier and version at its head, as a program file carries them.
    srecgen::Options options;
    options.type = 2;
    options.recordLength = 32;
    options.hasTarget = true;
    options.target = 0x708;
    options.versions = {{0, 0x01030007}};
    options.segments = {{0x4000, 4 * 1048576 / 78 * 32}};
    std::string error;
    const srecgen::Output out = srecgen::Generate(options, error);
    options.hasTarget = false;
    options.versions.clear();
    const srecgen::Output bareOut = srecgen::Generate(options, error);
    const fs::path secret = root / "bench.sec";
    if (out.text.empty() || !srecgen::WriteBytes((large / "TQ8-PROG.MOT").string(), out.text) ||
        !srecgen::WriteChecksum(large.string(), "TQ8-PROG.MOT", out.crc) || bareOut.text.empty() ||
        !srecgen::WriteBytes((bare / "TQ8-PROG.MOT").string(), bareOut.text) ||
        !srecgen::WriteChecksum(bare.string(), "TQ8-PROG.MOT", bareOut.crc) ||
        !Run("minisign -G -W -p '" + (keys / "bench.pub").string() + "' -s '" + secret.string() +
             "'") ||
        !Sign(small, secret) || !Sign(large, secret) || !Sign(bare, secret)) {
        std::fprintf(stderr,
                     "bench_bundle: the bundles could not be made (%s; is minisign "
                     "installed?)\n",
                     error.c_str());
        fs::remove_all(root);
        return 1;
    }
    std::printf("median of %d rounds\n", rounds);
    Report("sample bundle", small, keys, rounds, 50);
    Report("4 MiB program file", large, keys, rounds, 100);
    Report("4 MiB, no SI/SV record", bare, keys, rounds, 100);
    fs::remove_all(root);
    return 0;
}
