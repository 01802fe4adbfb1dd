#include "srecgen.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "platform/process.h"
#include "platform/profile.h"
#include "support/utils.h"

namespace srecgen {
namespace {

// splitmix64: small, fast and the same on every platform.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }

  private:
    uint64_t state_;
};

const char* LineEndText(LineEnd end) {
    switch (end) {
        case LineEnd::Lf:
            return "\n";
        case LineEnd::Cr:
            return "\r";
        default:
            return "\r\n";
    }
}

void AppendHex(std::string& out, uint32_t value, int bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = bytes - 1; i >= 0; --i) {
        const uint32_t b = (value >> (8 * i)) & 0xFF;
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
}

// One record: type, address of width bytes, data; count and checksum computed.
std::string Record(char type, uint32_t address, int width, const uint8_t* data, size_t n,
                   const char* lineEnd) {
    std::string line = "S";
    line += type;
    const uint32_t count = static_cast<uint32_t>(width + n + 1);
    AppendHex(line, count, 1);
    AppendHex(line, address, width);
    uint32_t sum = count;
    for (int i = 0; i < width; ++i) {
        sum += (address >> (8 * i)) & 0xFF;
    }
    for (size_t i = 0; i < n; ++i) {
        AppendHex(line, data[i], 1);
        sum += data[i];
    }
    AppendHex(line, (sum & 0xFF) ^ 0xFF, 1);
    line += lineEnd;
    return line;
}

struct DataRecord {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

}  // namespace

int MaxRecordLength(int type) {
    return 255 - (type + 1) - 1;
}

Output Generate(const Options& options, std::string& error) {
    Output out;
    if (options.type < 1 || options.type > 3) {
        error = "the data record type must be 1, 2 or 3";
        return out;
    }
    const int width = options.type + 1;
    if (options.recordLength < 1 || options.recordLength > MaxRecordLength(options.type)) {
        error = "the record length must be 1.." + std::to_string(MaxRecordLength(options.type));
        return out;
    }
    if (options.segments.empty()) {
        error = "no data segment";
        return out;
    }
    const uint64_t limit = uint64_t{1} << (8 * width);
    Random random(options.seed);
    std::vector<DataRecord> records;
    for (const Segment& s : options.segments) {
        if (s.size == 0 || uint64_t{s.address} + s.size > limit) {
            error = "a segment does not fit the address width of S" + std::to_string(options.type);
            return out;
        }
        for (uint64_t a = s.address; a < uint64_t{s.address} + s.size;) {
            const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(options.recordLength),
                                                  uint64_t{s.address} + s.size - a);
            DataRecord r{static_cast<uint32_t>(a), std::vector<uint8_t>(n)};
            for (auto& b : r.bytes) {
                b = static_cast<uint8_t>(random.Next());
            }
            records.push_back(std::move(r));
            a += n;
        }
    }
    for (int g = 0; g < options.gaps && records.size() > 1; ++g) {
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(random.Below(records.size())));
    }
    if (options.shuffle) {
        for (size_t i = records.size(); i > 1; --i) {
            std::swap(records[i - 1], records[random.Below(i)]);
        }
    }

    const char* eol = LineEndText(options.lineEnd);
    std::string& text = out.text;
    text += Record('0', 0, 2, reinterpret_cast<const uint8_t*>(options.header.data()),
                   std::min<size_t>(options.header.size(), 250), eol);
    if (options.hasTarget) {
        text += Record('I', options.target, 4, nullptr, 0, eol);
    }
    for (const auto& [index, value] : options.versions) {
        const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24),
                                  static_cast<uint8_t>(value >> 16),
                                  static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
        text += Record('V', index, 1, bytes, 4, eol);
    }
    uint64_t lowest = UINT64_MAX;
    uint64_t end = 0;
    for (const DataRecord& r : records) {
        text += Record(static_cast<char>('0' + options.type), r.address, width, r.bytes.data(),
                       r.bytes.size(), eol);
        lowest = std::min<uint64_t>(lowest, r.address);
        end = std::max<uint64_t>(end, r.address + r.bytes.size());
        out.dataBytes += static_cast<uint32_t>(r.bytes.size());
    }
    text += Record(static_cast<char>('0' + 10 - options.type), 0, width, nullptr, 0, eol);

    const uint64_t start = lowest & ~uint64_t{31};
    const uint64_t stop = (end + 31) & ~uint64_t{31};
    out.imageStart = static_cast<uint32_t>(start);
    out.image.assign(static_cast<size_t>(stop - start), 0xFF);
    for (const DataRecord& r : records) {
        std::copy(r.bytes.begin(), r.bytes.end(), out.image.begin() + (r.address - start));
    }
    out.crc = Crc32(out.image.data(), out.image.size());
    return out;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

bool WriteChecksum(const std::string& dir, const std::string& key, uint32_t crc) {
    char value[16];
    std::snprintf(value, sizeof value, "%d", static_cast<int>(crc));
    const std::string path = dir + platform::PathSeparator() + "TQ8-CRC.INI";
    return platform::ProfileWriteString("CRC", key.c_str(), value, path.c_str());
}

}  // namespace srecgen
