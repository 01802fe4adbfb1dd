#include "image/srecord.h"

#include <array>
#include <cstring>

#include "support/trace.h"

namespace {

constexpr std::array<int8_t, 256> MakeHexTable() {
    std::array<int8_t, 256> table{};
    for (auto& v : table) {
        v = -1;
    }
    for (int c = '0'; c <= '9'; ++c) {
        table[static_cast<size_t>(c)] = static_cast<int8_t>(c - '0');
    }
    for (int c = 'a'; c <= 'f'; ++c) {
        table[static_cast<size_t>(c)] = static_cast<int8_t>(c - 'a' + 10);
        table[static_cast<size_t>(c - 'a' + 'A')] = static_cast<int8_t>(c - 'a' + 10);
    }
    return table;
}

constexpr std::array<int8_t, 256> kHex = MakeHexTable();

inline int HexDigit(char c) {
    return kHex[static_cast<uint8_t>(c)];
}

// The byte written as two digits at p; both digits are known to be hexadecimal.
inline uint32_t ByteAt(const char* p) {
    return static_cast<uint32_t>(HexDigit(p[0]) << 4 | HexDigit(p[1]));
}

// True when characters from..to-1 are hexadecimal digits. Stops at the first other
// character, so it never reads past the line's terminator.
bool AllHex(const char* line, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (HexDigit(line[i]) < 0) {
            return false;
        }
    }
    return true;
}

// The count byte, when the count's digits and all the count bytes after them are there.
int CheckedCount(const char* line) {
    if (!AllHex(line, 2, 4)) {
        return -1;
    }
    const int count = static_cast<int>(ByteAt(line + 2));
    return AllHex(line, 4, 4 + 2 * static_cast<size_t>(count)) ? count : -1;
}

}  // namespace

int SRecordValidateCheckSum(const char* line) {
    TraceSRecord(5, "{cb}SRecordValidateCheckSum (%s)", line);
    const int count = CheckedCount(line);
    if (count < 1) {
        TraceSRecord(2, "{cr}*SRecordValidateCheckSum: Failure!");
        return 0;
    }
    uint32_t sum = static_cast<uint32_t>(count);
    const char* p = line + 4;
    for (int i = 0; i < count - 1; ++i, p += 2) {
        sum += ByteAt(p);
    }
    if (((sum & 0xFF) ^ 0xFF) == ByteAt(p)) {
        TraceSRecord(5, "{cg}*SRecordValidateCheckSum");
        return 1;
    }
    TraceSRecord(2, "{cr}*SRecordValidateCheckSum: Failure!");
    return 0;
}

int SRecordToBinary(const char* line, std::span<uint8_t> data, uint32_t& address, uint32_t& count,
                    int addressWidth) {
    TraceSRecord(5, "{cb}SRecordToBinary (%s)", line);
    const int total = CheckedCount(line);
    const int dataCount = total - addressWidth - 1;
    if (addressWidth < 1 || addressWidth > 4 || total < 0 || dataCount < 0 ||
        (!data.empty() && static_cast<size_t>(dataCount) > data.size())) {
        TraceSRecord(2, "{cr}*SRecordToBinary: Format error in record");
        return 0;
    }
    count = static_cast<uint32_t>(dataCount);
    const char* p = line + 4;
    uint32_t value = 0;
    for (int i = 0; i < addressWidth; ++i, p += 2) {
        value = value << 8 | ByteAt(p);
    }
    address = value;
    uint32_t sum = static_cast<uint32_t>(total) + (value >> 24) + ((value >> 16) & 0xFF) +
                   ((value >> 8) & 0xFF) + (value & 0xFF);
    const bool store = !data.empty();
    for (int i = 0; i < dataCount; ++i, p += 2) {
        const uint32_t byte = ByteAt(p);
        if (store) {
            data[static_cast<size_t>(i)] = static_cast<uint8_t>(byte);
        }
        sum += byte;
    }
    const uint32_t fileSum = ByteAt(p);
    const uint32_t calculated = (sum & 0xFF) ^ 0xFF;
    if (calculated == fileSum) {
        TraceSRecord(5, "{cg}*SRecordToBinary");
        return 1;
    }
    TraceSRecord(2, "{cr}*SRecordToBinary: Checksum error (file = 0x%02x; calculated = 0x%02x",
                 fileSum, calculated);
    return 0;
}

int SRecordDecode(const char* line, std::span<uint8_t> data, uint32_t& address, uint32_t& count) {
    TraceSRecord(5, "{cc}SRecordDecode (%s)", line);
    address = 0;
    count = 0;
    if (line[0] == '\0') {
        return kSRecordEmpty;
    }
    if (line[0] != 'S') {
        return kSRecordNoMark;
    }
    const size_t length = strnlen(line, kSRecordMaxLine + 1);
    if (length > static_cast<size_t>(kSRecordMaxLine)) {
        TraceSRecord(2, "{cr}SRecordDecode: line longer than %d characters", kSRecordMaxLine);
        return kSRecordBadRecord;
    }
    switch (line[1]) {
        case '0':
            return SRecordValidateCheckSum(line) ? kSRecordHeader : kSRecordBadRecord;
        case '7':
        case '8':
            return SRecordValidateCheckSum(line) ? kSRecordEndS7S8 : kSRecordBadRecord;
        case '9':
            return SRecordValidateCheckSum(line) ? kSRecordEndS9 : kSRecordBadRecord;
        case '1':
        case '2':
        case '3':
            return SRecordToBinary(line, data, address, count, line[1] - '0' + 1)
                       ? kSRecordData
                       : kSRecordBadRecord;
        case 'I':
            return SRecordToBinary(line, data, address, count, 4) ? kSRecordTarget
                                                                  : kSRecordBadRecord;
        case 'V':
            if (!SRecordToBinary(line, data, address, count, 1)) {
                return kSRecordBadRecord;
            }
            // The version value takes four data bytes; a shorter record has none.
            if (count < 4) {
                TraceSRecord(2, "{cr}SRecordDecode: version record with %u data bytes", count);
                return kSRecordBadRecord;
            }
            return kSRecordVersion;
        default:
            TraceSRecord(2, "{cr}cannot interprete line \"%s\"!", line);
            return kSRecordUnknownType;
    }
}

int SRecordGetDataByte(const char* line, int position) {
    uint8_t data[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    if (SRecordDecode(line, data, address, count) == kSRecordData && position >= 0 &&
        static_cast<uint32_t>(position) < count) {
        return data[position];
    }
    return -1;
}
