#pragma once
// The S-record module: decodes one record line, and scans a whole file for its start and
// end address, its data size, its target identifier and its version values.

#include <cstdint>
#include <span>

#include "image/file_obj.h"

// Decode results.
inline constexpr int kSRecordData = 1;
inline constexpr int kSRecordVersion = -2;
inline constexpr int kSRecordTarget = -3;
inline constexpr int kSRecordEndS9 = -4;
inline constexpr int kSRecordEmpty = -5;
inline constexpr int kSRecordHeader = -6;
inline constexpr int kSRecordEndS7S8 = -7;
inline constexpr int kSRecordUnknownType = -8;
inline constexpr int kSRecordBadRecord = -9;
inline constexpr int kSRecordNoMark = -10;

// The longest record: mark, type, count 0xFF and its 255 bytes as digits.
inline constexpr int kSRecordMaxLine = 4 + 2 * 255;
// Line buffer of the scans: one character more than the longest record shows a longer line.
inline constexpr int kSRecordLineSize = kSRecordMaxLine + 2;
// Data buffer of the scans: the most data bytes a record can carry (count 0xFF, one
// address byte) fit.
inline constexpr int kSRecordDataSize = 256;

// Decodes one line. address and count are 0 unless an S1, S2, S3, SI or SV record was
// read; its data bytes then go to data (also when the checksum fails). A line longer than
// the longest record, a count that does not fit the line or data, characters that are not
// hexadecimal digits inside the fields, and an SV record with fewer than four data bytes
// give kSRecordBadRecord.
int SRecordDecode(const char* line, std::span<uint8_t> data, uint32_t& address, uint32_t& count);

// Reads a record with an address of addressWidth bytes (1-4). Data bytes are stored only
// when data has room (an empty span stores none). 1 when the checksum matches, else 0.
int SRecordToBinary(const char* line, std::span<uint8_t> data, uint32_t& address, uint32_t& count,
                    int addressWidth);

// 1 when the checksum over the count byte and the bytes after it matches, else 0.
int SRecordValidateCheckSum(const char* line);

int32_t SRecordGetStartAddress(FileObj& file);
int32_t SRecordGetEndAddress(FileObj& file);
int32_t SRecordGetFileSizeBinary(FileObj& file, bool countAll);
uint32_t SRecordGetTargetIdentifier(FileObj& file);
// kSRecordNoVersion when the file has no SV record of that index.
inline constexpr uint32_t kSRecordNoVersion = 0xFFFFFFFF;
uint32_t SRecordGetVersionIdentifier(FileObj& file, int index);
int SRecordGetDataByte(const char* line, int position);

// Reads the next line of a record file into line (kSRecordLineSize characters). A line
// longer than that is delivered once, cut, and its rest is passed over, so that it is
// refused as one bad line instead of being read as several. Null at the end of the file.
char* SRecordReadLine(FileObj& file, char* line);

// The span of the valid data bytes of a file, for building its image. The end scan's
// result is kept beside it.
struct SRecordDataSpan {
    bool any = false;     // a valid data record with at least one byte was found
    uint64_t lowest = 0;  // address of the lowest data byte
    uint64_t end = 0;     // the highest address + count of the valid data records, also
                          // of those without bytes
    int32_t endAddress = -1;
};

// SRecordGetEndAddress, also reporting the data span.
int32_t SRecordScanDataSpan(FileObj& file, SRecordDataSpan& span);
