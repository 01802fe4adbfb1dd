// The scans of a whole S-record file.

#include <algorithm>
#include <cstring>

#include "image/srecord.h"
#include "support/trace.h"

char* SRecordReadLine(FileObj& file, char* line) {
    if (file.fgets(line, kSRecordLineSize) == nullptr) {
        return nullptr;
    }
    if (std::strlen(line) == kSRecordLineSize - 1) {
        // The piece filled the buffer: the line goes on. Its rest is read and dropped
        // until a piece ends at the line's end.
        char rest[kSRecordLineSize];
        while (file.fgets(rest, sizeof rest) != nullptr &&
               std::strlen(rest) == kSRecordLineSize - 1) {
        }
    }
    return line;
}

int32_t SRecordGetStartAddress(FileObj& file) {
    TraceSRecord(4, "{cb}SRecordGetStartAddress");
    char line[kSRecordLineSize];
    uint8_t data[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    while (SRecordReadLine(file, line) != nullptr) {
        const int result = SRecordDecode(line, data, address, count);
        if (result == kSRecordHeader || result == kSRecordTarget || result == kSRecordVersion) {
            continue;
        }
        file.fseek(0);
        TraceSRecord(4, "{cg}*SRecordGetStartAddress = %d", static_cast<int>(address));
        return static_cast<int32_t>(address);
    }
    return -1;
}

int32_t SRecordScanDataSpan(FileObj& file, SRecordDataSpan& span) {
    TraceSRecord(4, "{cb}SRecordGetEndAddress");
    file.fseek(0);
    span = SRecordDataSpan{};
    char line[kSRecordLineSize];
    uint8_t data[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    while (SRecordReadLine(file, line) != nullptr) {
        if (SRecordDecode(line, data, address, count) != kSRecordData) {
            continue;
        }
        const auto candidate = static_cast<int32_t>(address + count);
        span.endAddress = std::max(span.endAddress, candidate);
        // A record without bytes still marks an end, as it does for the end scan: an image
        // and CRC made by a loader that follows that scan must come out the same.
        const uint64_t last = uint64_t{address} + count;
        span.end = std::max(span.end, last);
        if (count > 0) {
            span.lowest = span.any ? std::min<uint64_t>(span.lowest, address) : address;
            span.any = true;
        }
    }
    file.fseek(0);
    TraceSRecord(4, "{cg}*SRecordGetEndAddress = %d", static_cast<int>(span.endAddress));
    return span.endAddress;
}

int32_t SRecordGetEndAddress(FileObj& file) {
    SRecordDataSpan span;
    return SRecordScanDataSpan(file, span);
}

int32_t SRecordGetFileSizeBinary(FileObj& file, bool countAll) {
    TraceSRecord(4, "{cb}SRecordGetFileSizeBinary");
    uint32_t size = 0;
    int lineNumber = 0;
    char line[kSRecordLineSize];
    uint8_t data[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    while (!file.feof() && SRecordReadLine(file, line) != nullptr) {
        TraceSRecord(5, "{cc}MOT: %s", line);
        ++lineNumber;
        const int result = SRecordDecode(line, data, address, count);
        if (result == kSRecordHeader) {
            // The model and firmware digits; a header too short to hold them shows '?'.
            const size_t length = std::strlen(line);
            auto at = [&](size_t i) { return i < length ? line[i] : '?'; };
            TraceSRecord(4, "{cg}*Header-Data: model = %c%c, firmware = %c%c", at(8), at(9), at(10),
                         at(11));
        }
        if (result <= kSRecordVersion && result >= kSRecordEndS7S8) {
            continue;
        }
        if (result < 0) {
            if (result == kSRecordBadRecord) {
                TraceSRecord(2, "{cr}Checksum error in line %d \"%s\"!", lineNumber, line);
            } else {
                TraceSRecord(2, "{cr}Fehler %d in Zeile %d beim Lesen der S-Record-Datei", result,
                             lineNumber);
            }
            return -1;
        }
        if (address >= 0x4000 || countAll) {
            size += count;
        }
    }
    file.fseek(0);
    TraceSRecord(4, "{cg}*SRecordGetFileSizeBinary = %d", static_cast<int>(size));
    return static_cast<int32_t>(size);
}

uint32_t SRecordGetTargetIdentifier(FileObj& file) {
    TraceSRecord(4, "{cb}SRecordGetTargetIdentifier (%s)", file.szFileName);
    char line[kSRecordLineSize];
    uint8_t data[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    while (SRecordReadLine(file, line) != nullptr) {
        if (line[0] == 'S' && line[1] == 'I' &&
            SRecordDecode(line, data, address, count) == kSRecordTarget) {
            file.fseek(0);
            TraceSRecord(4, "{cg}*SRecordGetTargetIdentifier (%s) = 0x%06lx", file.szFileName,
                         static_cast<unsigned long>(address));
            return address;
        }
    }
    file.fseek(0);
    TraceSRecord(4, "{cg}*SRecordGetTargetIdentifier (%s) = 0x%06lx", file.szFileName, 0UL);
    return 0;
}

uint32_t SRecordGetVersionIdentifier(FileObj& file, int index) {
    TraceSRecord(4, "{cb}SRecordGetVersionIdentifier (%s, %d)", file.szFileName, index);
    char line[kSRecordLineSize];
    uint8_t data[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    while (SRecordReadLine(file, line) != nullptr) {
        if (line[0] == 'S' && line[1] == 'V' &&
            SRecordDecode(line, data, address, count) == kSRecordVersion &&
            address == static_cast<uint32_t>(index)) {
            const uint32_t value = uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 |
                                   uint32_t{data[2]} << 8 | uint32_t{data[3]};
            file.fseek(0);
            TraceSRecord(4, "{cg}*SRecordGetVersionIdentifier (%s) = 0x%08lx", file.szFileName,
                         static_cast<unsigned long>(value));
            return value;
        }
    }
    file.fseek(0);
    TraceSRecord(4, "{cg}*SRecordGetVersionIdentifier (%s) = 0x%08lx", file.szFileName,
                 static_cast<unsigned long>(0xFFFFFFFFUL));
    return 0xFFFFFFFF;
}
