#include "image/srecord.h"

#include <array>
#include <cstring>
#include <vector>

#include "support/trace.h"

namespace {

// Value of a hexadecimal digit; kBadDigit marks every other character.
constexpr uint8_t kBadDigit = 0x10;

constexpr std::array<uint8_t, 256> MakeNibbleTable() {
    std::array<uint8_t, 256> table{};
    for (auto& v : table) {
        v = kBadDigit;
    }
    for (int c = '0'; c <= '9'; ++c) {
        table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - '0');
    }
    for (int c = 'a'; c <= 'f'; ++c) {
        table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 10);
        table[static_cast<size_t>(c - 'a' + 'A')] = static_cast<uint8_t>(c - 'a' + 10);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kNibble = MakeNibbleTable();

// The byte that two characters stand for, indexed by the first character plus 256 times
// the second; kBadPair is set when either is no hexadecimal digit. One look-up per byte
// keeps the scans of large files cheap.
constexpr uint32_t kBadPair = 0x100;

std::vector<uint16_t> MakePairTable() {
    std::vector<uint16_t> table(256 * 256);
    for (uint32_t first = 0; first < 256; ++first) {
        for (uint32_t second = 0; second < 256; ++second) {
            const uint32_t high = kNibble[first];
            const uint32_t low = kNibble[second];
            table[first | second << 8] =
                static_cast<uint16_t>((high | low) & kBadDigit ? kBadPair : (high << 4 | low));
        }
    }
    return table;
}

const std::vector<uint16_t> kPair = MakePairTable();

// Reads two-digit bytes one after the other and remembers whether any digit was bad, so
// that the line is checked in the same pass that decodes it.
class HexReader {
  public:
    explicit HexReader(const char* at) : p_(at) {}
    uint32_t Byte() {
        const uint32_t value = kPair[static_cast<uint8_t>(p_[0]) |
                                     static_cast<uint32_t>(static_cast<uint8_t>(p_[1])) << 8];
        bad_ |= value;
        p_ += 2;
        return value & 0xFF;
    }
    bool Bad() const { return (bad_ & kBadPair) != 0; }

  private:
    const char* p_;
    uint32_t bad_ = 0;
};

// The count byte, when its digits and all the count bytes after it are on the line;
// -1 otherwise. The digits of those bytes are checked by the caller's reader.
int LineCount(const char* line) {
    const size_t length = strnlen(line, kSRecordMaxLine + 1);
    if (length < 4) {
        return -1;
    }
    HexReader reader(line + 2);
    const int count = static_cast<int>(reader.Byte());
    if (reader.Bad() || length < 4 + 2 * static_cast<size_t>(count)) {
        return -1;
    }
    return count;
}

}  // namespace

int SRecordValidateCheckSum(const char* line) {
    TraceSRecord(5, "{cb}SRecordValidateCheckSum (%s)", line);
    const int count = LineCount(line);
    if (count >= 1) {
        HexReader reader(line + 4);
        uint32_t sum = static_cast<uint32_t>(count);
        for (int i = 0; i < count - 1; ++i) {
            sum += reader.Byte();
        }
        const uint32_t fileSum = reader.Byte();
        if (!reader.Bad() && ((sum & 0xFF) ^ 0xFF) == fileSum) {
            TraceSRecord(5, "{cg}*SRecordValidateCheckSum");
            return 1;
        }
    }
    TraceSRecord(2, "{cr}*SRecordValidateCheckSum: Failure!");
    return 0;
}

int SRecordToBinary(const char* line, std::span<uint8_t> data, uint32_t& address, uint32_t& count,
                    int addressWidth) {
    TraceSRecord(5, "{cb}SRecordToBinary (%s)", line);
    const int total = LineCount(line);
    const int dataCount = total - addressWidth - 1;
    const bool store = !data.empty();
    if (addressWidth < 1 || addressWidth > 4 || total < 0 || dataCount < 0 ||
        (store && static_cast<size_t>(dataCount) > data.size())) {
        TraceSRecord(2, "{cr}*SRecordToBinary: Format error in record");
        return 0;
    }
    HexReader reader(line + 4);
    uint32_t value = 0;
    for (int i = 0; i < addressWidth; ++i) {
        value = value << 8 | reader.Byte();
    }
    uint32_t sum = static_cast<uint32_t>(total) + (value >> 24) + ((value >> 16) & 0xFF) +
                   ((value >> 8) & 0xFF) + (value & 0xFF);
    if (store) {
        for (int i = 0; i < dataCount; ++i) {
            const uint32_t byte = reader.Byte();
            data[static_cast<size_t>(i)] = static_cast<uint8_t>(byte);
            sum += byte;
        }
    } else {
        for (int i = 0; i < dataCount; ++i) {
            sum += reader.Byte();
        }
    }
    const uint32_t fileSum = reader.Byte();
    if (reader.Bad()) {
        TraceSRecord(2, "{cr}*SRecordToBinary: Format error in record");
        return 0;
    }
    count = static_cast<uint32_t>(dataCount);
    address = value;
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
