#include "hex_dump.h"

#include <cstdio>

namespace vldebug {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHead(std::string& out, RowHead head, uint64_t value) {
    char buf[24];
    if (head == RowHead::Address) {
        std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(value & 0xFFFFFFFFU));
    } else {
        std::snprintf(buf, sizeof buf, "%04llX", static_cast<unsigned long long>(value));
    }
    out += buf;
    out += "  ";
}

}  // namespace

void AppendHexRows(std::string& out, const uint8_t* data, size_t count, RowHead head,
                   uint32_t first) {
    if (data == nullptr) {
        return;
    }
    for (size_t row = 0; row < count; row += kBytesPerRow) {
        const size_t inRow = count - row < kBytesPerRow ? count - row : kBytesPerRow;
        AppendHead(out, head, uint64_t{first} + row);
        for (size_t i = 0; i < kBytesPerRow; ++i) {
            if (i == kBytesPerRow / 2) {
                out += ' ';  // a gap in the middle keeps long rows countable
            }
            if (i < inRow) {
                const uint8_t byte = data[row + i];
                out += kHexDigits[byte >> 4];
                out += kHexDigits[byte & 0x0F];
                out += ' ';
            } else {
                out += "   ";
            }
        }
        out += ' ';
        for (size_t i = 0; i < inRow; ++i) {
            const uint8_t byte = data[row + i];
            out += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        }
        out += '\n';
    }
}

}  // namespace vldebug
