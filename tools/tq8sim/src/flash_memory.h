// The machine's flash: erase sets 0xFF, programming can only clear bits, and the
// bootloader area is out of reach of both. Also keeps, per area, the record of the last
// accepted download that the checksum report is made from.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tq8sim {

struct AreaRange {
    uint32_t start;
    uint32_t end;  // inclusive
};

struct ChecksumReport {
    uint32_t start;
    uint32_t end;
    uint32_t saved;
    uint32_t calculated;
};

enum class RangeVerdict { kOk, kReversed, kMisaligned, kOutsideMap, kBootloader, kCrossesAreas };

const char* RangeVerdictName(RangeVerdict verdict);

inline constexpr int kAreaCount = 3;

class FlashMemory {
  public:
    FlashMemory();

    static AreaRange Area(int area);
    static int AreaOf(uint32_t address);  // -1 outside the map
    // Whether a download may go to [start, end]: 32-byte aligned, inside one writable area.
    static RangeVerdict CheckDownloadRange(uint32_t start, uint32_t end);

    bool Erase(uint32_t start, uint32_t end);
    bool Program(uint32_t address, std::span<const uint8_t> data);
    uint32_t Sum(uint32_t start, uint32_t end) const;
    std::vector<uint8_t> Read(uint32_t address, uint32_t size) const;

    void RecordAccepted(uint32_t start, uint32_t end, uint32_t sum);
    ChecksumReport Report(int area) const;

  private:
    static bool Writable(uint32_t start, uint32_t end);

    struct Record {
        bool valid = false;
        uint32_t start = 0;
        uint32_t end = 0;
        uint32_t saved = 0;
    };
    std::vector<uint8_t> bytes_;
    std::array<Record, kAreaCount> records_{};
};

}  // namespace tq8sim
