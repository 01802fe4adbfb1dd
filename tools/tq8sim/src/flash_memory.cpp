#include "flash_memory.h"

#include <algorithm>

#include "tq8sim/simulator.h"

namespace tq8sim {

const char* RangeVerdictName(RangeVerdict verdict) {
    switch (verdict) {
        case RangeVerdict::kOk:
            return "ok";
        case RangeVerdict::kReversed:
            return "reversed";
        case RangeVerdict::kMisaligned:
            return "misaligned";
        case RangeVerdict::kOutsideMap:
            return "outside-map";
        case RangeVerdict::kBootloader:
            return "bootloader";
        case RangeVerdict::kCrossesAreas:
            return "crosses-areas";
    }
    return "?";
}

FlashMemory::FlashMemory() : bytes_(kMemorySize, 0xFF) {
    // The bootloader is fixed content that never changes; a small generator keeps it
    // the same in every run so its checksum is stable.
    uint32_t seed = 0x7A51C3E5u;
    for (uint32_t address = kBootStart; address <= kBootEnd; ++address) {
        seed = seed * 1664525u + 1013904223u;
        bytes_[address] = static_cast<uint8_t>(seed >> 24);
    }
}

AreaRange FlashMemory::Area(int area) {
    switch (area) {
        case 0:
            return {kBootStart, kBootEnd};
        case 1:
            return {kApplicationStart, kApplicationEnd};
        default:
            return {kTextStart, kTextEnd};
    }
}

int FlashMemory::AreaOf(uint32_t address) {
    for (int area = 0; area < kAreaCount; ++area) {
        const AreaRange range = Area(area);
        if (address >= range.start && address <= range.end) {
            return area;
        }
    }
    return -1;
}

RangeVerdict FlashMemory::CheckDownloadRange(uint32_t start, uint32_t end) {
    if (end < start) {
        return RangeVerdict::kReversed;
    }
    if (start % 32 != 0 || (static_cast<uint64_t>(end) - start + 1) % 32 != 0) {
        return RangeVerdict::kMisaligned;
    }
    const int first = AreaOf(start);
    const int last = AreaOf(end);
    if (first < 0 || last < 0) {
        return RangeVerdict::kOutsideMap;
    }
    if (first == 0 || last == 0) {
        return RangeVerdict::kBootloader;
    }
    if (first != last) {
        return RangeVerdict::kCrossesAreas;
    }
    return RangeVerdict::kOk;
}

bool FlashMemory::Writable(uint32_t start, uint32_t end) {
    return start <= end && end < kMemorySize && start > kBootEnd;
}

bool FlashMemory::Erase(uint32_t start, uint32_t end) {
    if (!Writable(start, end)) {
        return false;
    }
    std::fill(bytes_.begin() + start, bytes_.begin() + end + 1, uint8_t{0xFF});
    return true;
}

bool FlashMemory::Program(uint32_t address, std::span<const uint8_t> data) {
    if (data.empty()) {
        return true;
    }
    if (data.size() > kMemorySize ||
        !Writable(address, address + static_cast<uint32_t>(data.size()) - 1)) {
        return false;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        bytes_[address + i] &= data[i];
    }
    return true;
}

uint32_t FlashMemory::Sum(uint32_t start, uint32_t end) const {
    uint32_t sum = 0;
    if (start > end || start >= kMemorySize) {
        return 0;
    }
    end = std::min(end, kMemorySize - 1);
    for (uint32_t address = start; address <= end; ++address) {
        sum += bytes_[address];
    }
    return sum;
}

std::vector<uint8_t> FlashMemory::Read(uint32_t address, uint32_t size) const {
    std::vector<uint8_t> out(size, 0xFF);
    for (uint32_t i = 0; i < size; ++i) {
        const uint64_t at = static_cast<uint64_t>(address) + i;
        if (at >= kMemorySize) {
            break;
        }
        out[i] = bytes_[at];
    }
    return out;
}

void FlashMemory::RecordAccepted(uint32_t start, uint32_t end, uint32_t sum) {
    const int area = AreaOf(start);
    if (area <= 0) {
        return;
    }
    records_[area] = {true, start, end, sum};
}

ChecksumReport FlashMemory::Report(int area) const {
    const AreaRange range = Area(area);
    if (area == 0) {
        const uint32_t sum = Sum(range.start, range.end);
        return {range.start, range.end, sum, sum};
    }
    const Record& record = records_[area];
    if (!record.valid) {
        // Never loaded: the whole area counts, and nothing was saved for it.
        return {range.start, range.end, 0, Sum(range.start, range.end)};
    }
    return {record.start, record.end, record.saved, Sum(record.start, record.end)};
}

}  // namespace tq8sim
