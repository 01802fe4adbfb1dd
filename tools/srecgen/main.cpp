// srecgen: writes deterministic S-record files (and their checksum file) from a seed.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli/console_session.h"
#include "srecgen.h"

namespace {

void Usage() {
    std::printf(
        "Usage: srecgen [OPTIONS] -o FILE\n"
        "       srecgen --sample DIR\n"
        "\n"
        "Writes an S-record file whose data bytes, gaps and record order follow from the seed.\n"
        "\n"
        "  -o, --output FILE        the S-record file to write\n"
        "  --type 1|2|3             data records S1 (16-bit), S2 (24-bit) or S3 (32-bit "
        "addresses)\n"
        "  --segment ADDR:SIZE      a data segment (repeatable; numbers decimal or 0x...)\n"
        "  --record-length N        data bytes per record (default 32)\n"
        "  --gaps N                 leave N records out at random\n"
        "  --shuffle                write the data records in a shuffled order\n"
        "  --eol crlf|lf|cr         line ending (default crlf)\n"
        "  --seed N                 seed (default 1)\n"
        "  --header TEXT            text of the S0 header (default TQ8)\n"
        "  --target ID              write an SI record with the target identifier\n"
        "  --version I=MAJ.MIN.BUILD  write an SV record with index I (repeatable)\n"
        "  --crc-ini DIR            also store the image's CRC in DIR/TQ8-CRC.INI\n"
        "  --image FILE             also write the image the loader builds from the file\n"
        "  --sample DIR             write the sample firmware (TQ8-PROG.MOT, TQ8-TEXT.MOT,\n"
        "                           TQ8-CRC.INI) into DIR, made when missing\n");
}

bool Number(const char* text, uint64_t& value) {
    char* end = nullptr;
    value = std::strtoull(text, &end, 0);
    return end != text && *end == '\0';
}

std::string NamePart(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

int WriteOne(const srecgen::Options& options, const std::string& output, const std::string& crcDir,
             const std::string& imagePath) {
    std::string error;
    const srecgen::Output out = srecgen::Generate(options, error);
    if (out.text.empty()) {
        std::fprintf(stderr, "srecgen: %s\n", error.c_str());
        return 2;
    }
    if (!srecgen::WriteBytes(output, out.text)) {
        std::fprintf(stderr, "srecgen: cannot write %s\n", output.c_str());
        return 1;
    }
    if (!imagePath.empty() &&
        !srecgen::WriteBytes(imagePath, std::string(out.image.begin(), out.image.end()))) {
        std::fprintf(stderr, "srecgen: cannot write %s\n", imagePath.c_str());
        return 1;
    }
    if (!crcDir.empty() && !srecgen::WriteChecksum(crcDir, NamePart(output), out.crc)) {
        std::fprintf(stderr, "srecgen: cannot write the checksum file in %s\n", crcDir.c_str());
        return 1;
    }
    std::printf("%s: image 0x%08X, %zu bytes, CRC-32 0x%08X\n", output.c_str(), out.imageStart,
                out.image.size(), out.crc);
    return 0;
}

// The sample firmware: about 200 KiB of program at 0x4000 (version 1.03.7) and 48 KiB of
// display texts at 0x80000, both with gaps, and their checksum file.
int WriteSample(const std::string& dir) {
    // A bundle is usually written into a fresh folder: make it, with its parents.
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(dir), error);
    if (error) {
        std::fprintf(stderr, "srecgen: cannot create %s: %s\n", dir.c_str(),
                     error.message().c_str());
        return 1;
    }
    srecgen::Options prog;
    prog.type = 2;
    prog.seed = 0x7138;
    prog.header = "TQ8-PROG";
    prog.hasTarget = true;
    prog.target = 0x000708;
    prog.versions = {{0, srecgen::PackVersion(1, 3, 7)}};
    prog.segments = {{0x4000, 0x20000}, {0x24400, 0x12000}};
    prog.gaps = 12;
    srecgen::Options text = prog;
    text.seed = 0x7E47;
    text.header = "TQ8-TEXT";
    text.versions = {{0, srecgen::PackVersion(1, 3, 2)}};
    text.segments = {{0x80000, 0xC000}};
    text.gaps = 4;
    const int a = WriteOne(prog, dir + "/TQ8-PROG.MOT", dir, "");
    return a != 0 ? a : WriteOne(text, dir + "/TQ8-TEXT.MOT", dir, "");
}

}  // namespace

int main(int argc, char** argv) {
    // The core's boxes and progress windows go to the terminal.
    ConsoleSession session;
    srecgen::Options options;
    std::string output;
    std::string crcDir;
    std::string imagePath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        uint64_t n = 0;
        auto needs = [&]() {
            if (next == nullptr) {
                std::fprintf(stderr, "srecgen: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            ++i;
            return std::string(next);
        };
        if (arg == "-h" || arg == "--help") {
            Usage();
            return 0;
        } else if (arg == "-o" || arg == "--output") {
            output = needs();
        } else if (arg == "--sample") {
            return WriteSample(needs());
        } else if (arg == "--type" && Number(needs().c_str(), n)) {
            options.type = static_cast<int>(n);
        } else if (arg == "--record-length" && Number(needs().c_str(), n)) {
            options.recordLength = static_cast<int>(n);
        } else if (arg == "--gaps" && Number(needs().c_str(), n)) {
            options.gaps = static_cast<int>(n);
        } else if (arg == "--seed" && Number(needs().c_str(), n)) {
            options.seed = n;
        } else if (arg == "--target" && Number(needs().c_str(), n)) {
            options.hasTarget = true;
            options.target = static_cast<uint32_t>(n);
        } else if (arg == "--shuffle") {
            options.shuffle = true;
        } else if (arg == "--header") {
            options.header = needs();
        } else if (arg == "--crc-ini") {
            crcDir = needs();
        } else if (arg == "--image") {
            imagePath = needs();
        } else if (arg == "--eol") {
            const std::string v = needs();
            if (v == "crlf") {
                options.lineEnd = srecgen::LineEnd::CrLf;
            } else if (v == "lf") {
                options.lineEnd = srecgen::LineEnd::Lf;
            } else if (v == "cr") {
                options.lineEnd = srecgen::LineEnd::Cr;
            } else {
                std::fprintf(stderr, "srecgen: unknown line ending '%s'\n", v.c_str());
                return 2;
            }
        } else if (arg == "--segment") {
            const std::string v = needs();
            const size_t colon = v.find(':');
            uint64_t address = 0;
            uint64_t size = 0;
            if (colon == std::string::npos || !Number(v.substr(0, colon).c_str(), address) ||
                !Number(v.substr(colon + 1).c_str(), size) || address > 0xFFFFFFFF ||
                size > 0xFFFFFFFF) {
                std::fprintf(stderr, "srecgen: --segment wants ADDR:SIZE, not '%s'\n", v.c_str());
                return 2;
            }
            options.segments.push_back(
                {static_cast<uint32_t>(address), static_cast<uint32_t>(size)});
        } else if (arg == "--version") {
            const std::string v = needs();
            unsigned index = 0;
            unsigned major = 0;
            unsigned minor = 0;
            unsigned build = 0;
            if (std::sscanf(v.c_str(), "%u=%u.%u.%u", &index, &major, &minor, &build) != 4 ||
                index > 255) {
                std::fprintf(stderr, "srecgen: --version wants I=MAJ.MIN.BUILD, not '%s'\n",
                             v.c_str());
                return 2;
            }
            options.versions.emplace_back(static_cast<uint8_t>(index),
                                          srecgen::PackVersion(major, minor, build));
        } else {
            std::fprintf(stderr, "srecgen: unknown or malformed option '%s' (see --help)\n",
                         arg.c_str());
            return 2;
        }
    }
    if (output.empty()) {
        Usage();
        return 2;
    }
    return WriteOne(options, output, crcDir, imagePath);
}
