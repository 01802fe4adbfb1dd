#pragma once
// Deterministic S-record files for tests, benchmarks and the sample firmware: the same
// options and seed always give the same bytes.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace srecgen {

enum class LineEnd { CrLf, Lf, Cr };

struct Segment {
    uint32_t address;
    uint32_t size;
};

struct Options {
    int type = 1;           // data records S1, S2 or S3
    uint64_t seed = 1;      // data bytes, gaps and order come from it
    int recordLength = 32;  // data bytes per record (the last of a segment may be shorter)
    LineEnd lineEnd = LineEnd::CrLf;
    bool shuffle = false;  // data records in a shuffled order
    std::string header = "TQ8";
    bool hasTarget = false;
    uint32_t target = 0;
    std::vector<std::pair<uint8_t, uint32_t>> versions;  // SV index and value
    std::vector<Segment> segments;
    int gaps = 0;  // data records left out at random, making holes
};

struct Output {
    std::string text;            // the file's contents
    uint32_t imageStart = 0;     // the image the loader builds: lowest address rounded
    std::vector<uint8_t> image;  // down to 32, end rounded up, 0xFF where no data
    uint32_t crc = 0;            // CRC-32 of the image
    uint32_t dataBytes = 0;
};

// Empty text and a message in error when the options cannot be written.
Output Generate(const Options& options, std::string& error);

// The longest data part of a record of the type.
int MaxRecordLength(int type);

// Version value as major.minor.build packs it.
inline uint32_t PackVersion(unsigned major, unsigned minor, unsigned build) {
    return (major & 0xFF) << 24 | (minor & 0xFF) << 16 | (build & 0xFFFF);
}

bool WriteBytes(const std::string& path, const std::string& bytes);

// Writes the CRC for key into dir's TQ8-CRC.INI (other keys are kept).
bool WriteChecksum(const std::string& dir, const std::string& key, uint32_t crc);

}  // namespace srecgen
