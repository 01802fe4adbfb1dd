#include "image/load_mot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "image/srecord.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/utils.h"
#include "text_ids.h"

namespace {

constexpr const char* kMaintainerAccounts[] = {"greta.holmfeld", "jonas.wiederkehr"};
constexpr size_t kUserNameSize = 32;

constexpr uint64_t kAlign = 32;

bool SameIgnoringCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

void ShowChecksumFailed(const LoadOptions& options) {
    if (options.messageBoxes) {
        FrontEndMessageBox(hMainWnd, LoadText(kTextChecksumFailed),
                           LoadText(kCaptionChecksumFailed), kMbOk | kMbIconError);
    }
}

// Whether the line is marked as a data record (S1, S2, S3), decodable or not.
bool IsDataRecordLine(const char* line) {
    return line[0] == 'S' && line[1] >= '1' && line[1] <= '3';
}

// Whether a line of the copy pass carries data bytes to be copied: valid data records,
// and data records whose checksum failed (their bytes as read, so that the CRC shows
// the damage).
bool CarriesData(int result, const char* line, uint32_t count) {
    return count > 0 &&
           (result == kSRecordData || (result == kSRecordBadRecord && IsDataRecordLine(line)));
}

}  // namespace

bool IsMaintainerAccount(const std::string& name) {
    if (name.size() >= kUserNameSize) {
        return false;
    }
    return std::any_of(std::begin(kMaintainerAccounts), std::end(kMaintainerAccounts),
                       [&](const char* account) { return SameIgnoringCase(name, account); });
}

int LoadMotFile(FileObj& file, MemoryImage& image, uint32_t& start, uint32_t& size) {
    LoadOptions options;
    options.checksumDirectory = szProgramDirectory;
    return LoadMotFileWith(file, image, start, size, options);
}

int LoadMotFileWith(FileObj& file, MemoryImage& image, uint32_t& start, uint32_t& size,
                    const LoadOptions& options, LoadReport* report) {
    LoadReport local;
    LoadReport& out = report != nullptr ? *report : local;
    out = LoadReport{};
    TraceProtokoll(4, "{cb}LoadMotFile (%s)", file.szFileName);

    const int32_t firstAddress = SRecordGetStartAddress(file);
    if (firstAddress == -1) {
        TraceProtokoll(2, "Error in MOT-File");
        return 0;
    }
    SRecordDataSpan span;
    SRecordScanDataSpan(file, span);
    if (!span.any) {
        // Records, but none with data: there is no image to build.
        TraceProtokoll(2, "Error in MOT-File");
        return 0;
    }
    // The image begins at the first data record in file order; a record further down
    // with a lower address widens it, so that no record falls before the block.
    const uint64_t first = static_cast<uint32_t>(firstAddress) & ~(kAlign - 1);
    const uint64_t lowest = span.lowest & ~(kAlign - 1);
    const uint64_t imageStart = std::min(first, lowest);
    const uint64_t imageEnd = (span.end + kAlign - 1) & ~(kAlign - 1);
    const uint64_t imageSize = imageEnd - imageStart;
    start = static_cast<uint32_t>(imageStart);
    size = static_cast<uint32_t>(std::min<uint64_t>(imageSize, 0xFFFFFFE0));

    if (imageSize > options.maxImageSize || !image.Allocate(size)) {
        TraceProtokoll(2, "Could not allocate memory for binary data");
        return 0;
    }
    const std::span<uint8_t> bytes = image.Lock();
    std::memset(bytes.data(), 0xFF, bytes.size());

    file.fseek(0);
    char line[kSRecordLineSize];
    uint8_t data[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    int lineNumber = 0;
    int firstDamagedData = 0;
    int firstDamagedDataCode = 0;
    while (!file.feof() && SRecordReadLine(file, line) != nullptr) {
        ++lineNumber;
        TraceProtokoll(5, "{cc}MOT: %s", line);
        const int result = SRecordDecode(line, data, address, count);
        if (result == kSRecordData) {
            // Inside the span by construction.
            if (count > 0) {
                std::memcpy(bytes.data() + (address - imageStart), data, count);
            }
            continue;
        }
        if (result <= kSRecordVersion && result >= kSRecordEndS7S8) {
            continue;
        }
        ++out.damagedLines;
        if (IsDataRecordLine(line) && ++out.damagedDataRecords == 1) {
            firstDamagedData = lineNumber;
            firstDamagedDataCode = result;
        }
        if (CarriesData(result, line, count)) {
            // A damaged record may lie anywhere: only its part inside the block is copied.
            const uint64_t from = std::max<uint64_t>(address, imageStart);
            const uint64_t to = std::min<uint64_t>(uint64_t{address} + count, imageEnd);
            if (from < to) {
                std::memcpy(bytes.data() + (from - imageStart), data + (from - address),
                            static_cast<size_t>(to - from));
            }
        }
    }
    file.fseek(0);
    out.imageBuilt = true;

    char path[kMaxPath];
    const char separator[2] = {platform::PathSeparator(), '\0'};
    CopyString(path, options.checksumDirectory.c_str(), sizeof path);
    AppendString(path, separator, sizeof path);
    AppendString(path, kChecksumFileName, sizeof path);
    const char* key = GetFileNamePart(file.szFileName);
    out.checksumFile = path;
    out.key = key;

    const uint32_t crc = Crc32(bytes.data(), bytes.size());
    out.crc = crc;

    if (options.maintainerStep && IsMaintainerAccount(platform::UserName())) {
        if (out.damagedDataRecords > 0) {
            // A checksum made from damaged data would let the damage pass every later
            // verification. Other lines that cannot be decoded (record counts, text that
            // is no record) add nothing to the image, and common tools write them.
            TraceProtokoll(2,
                           "{cr}LoadMotFile (%s): line %d cannot be used (%d), %d damaged "
                           "line(s); %s is not written",
                           file.szFileName, firstDamagedData, firstDamagedDataCode,
                           out.damagedDataRecords, kChecksumFileName);
            ShowChecksumFailed(options);
            image.Unlock();
            return 0;
        }
        const int32_t stored = platform::ProfileGetInt(kChecksumSection, key, 0, path);
        if (stored != static_cast<int32_t>(crc)) {
            char value[16];
            std::snprintf(value, sizeof value, "%d", static_cast<int>(crc));
            platform::ProfileWriteString(kChecksumSection, key, value, path);
            out.crcWritten = true;
            if (options.messageBoxes) {
                FrontEndMessageBox(hMainWnd, LoadText(kTextCrcWritten),
                                   FormatText(LoadText(kCaptionCrcWritten), key),
                                   kMbOk | kMbIconInformation);
            }
        }
    }

    const int32_t stored = platform::ProfileGetInt(kChecksumSection, key, 0, path);
    out.storedCrc = stored;
    out.storedFound = stored != 0 || platform::ProfileGetInt(kChecksumSection, key, 1, path) == 0;
    if (stored == static_cast<int32_t>(crc)) {
        out.verified = true;
        image.Unlock();
        TraceProtokoll(4, "{cb}LoadMotFile (start = 0x%08x, size = 0x%08x)", start, size);
        return 1;
    }
    ShowChecksumFailed(options);
    image.Unlock();
    return 0;
}
