#include "cli/cmd_inspect.h"

#include <cstdio>
#include <set>
#include <span>

#include "image/file_obj.h"
#include "image/load_mot.h"
#include "image/srecord.h"
#include "platform/file.h"

namespace {

constexpr int kUsageError = 2;

std::string DirectoryOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) {
        return ".";
    }
    return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

// The SV indices the file carries, in ascending order.
std::set<int> VersionIndices(FileObj& file) {
    std::set<int> indices;
    char line[kSRecordLineSize];
    uint8_t data[kSRecordDataSize];
    uint32_t address = 0;
    uint32_t count = 0;
    file.fseek(0);
    while (SRecordReadLine(file, line) != nullptr) {
        if (line[0] == 'S' && line[1] == 'V' &&
            SRecordDecode(line, data, address, count) == kSRecordVersion) {
            indices.insert(static_cast<int>(address));
        }
    }
    file.fseek(0);
    return indices;
}

void PrintVersion(int index, uint32_t value) {
    if (value == 0xFFFFFFFF) {
        std::printf("  version [%d]         none\n", index);
        return;
    }
    std::printf("  version [%d]         %u.%02u.%u (0x%08X)\n", index, value >> 24,
                (value >> 16) & 0xFF, value & 0xFFFF, value);
}

bool WriteImage(const std::string& path, std::span<const uint8_t> bytes) {
    platform::FileHandle out =
        platform::FileOpen(path.c_str(), platform::kGenericWrite, 0, platform::kCreateAlways,
                           platform::kFileAttributeNormal);
    if (out == platform::kInvalidFile) {
        return false;
    }
    uint32_t written = 0;
    const bool ok =
        platform::FileWrite(out, bytes.data(), static_cast<uint32_t>(bytes.size()), &written) &&
        written == bytes.size();
    return platform::FileClose(out) && ok;
}

// One file; true when it loads and verifies.
bool InspectFile(const std::string& path, const std::string& outputPath) {
    std::printf("%s\n", path.c_str());
    FileObj file;
    if (!file.fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                    platform::kOpenExisting, platform::kFileAttributeNormal, 0)) {
        std::printf("  cannot be opened\n");
        return false;
    }
    const int32_t startAddress = SRecordGetStartAddress(file);
    file.fseek(0);
    const int32_t endAddress = SRecordGetEndAddress(file);
    std::printf("  start address       0x%08X%s\n", static_cast<unsigned>(startAddress),
                startAddress == -1 ? " (no record)" : "");
    std::printf("  end address         0x%08X%s\n", static_cast<unsigned>(endAddress),
                endAddress == -1 ? " (no data record)" : "");
    const int32_t counted = SRecordGetFileSizeBinary(file, false);
    file.fseek(0);
    const int32_t all = SRecordGetFileSizeBinary(file, true);
    file.fseek(0);
    if (counted < 0 || all < 0) {
        std::printf("  data size           unreadable (a line cannot be decoded)\n");
    } else {
        std::printf("  data size           %d bytes from 0x4000, %d bytes in all\n", counted, all);
    }
    std::printf("  target identifier   0x%06X\n", SRecordGetTargetIdentifier(file));
    PrintVersion(0, SRecordGetVersionIdentifier(file, 0));
    for (int index : VersionIndices(file)) {
        if (index != 0) {
            PrintVersion(index, SRecordGetVersionIdentifier(file, index));
        }
    }

    LoadOptions options;
    options.checksumDirectory = DirectoryOf(path);
    // Looking at a file changes nothing and asks nothing.
    options.maintainerStep = false;
    options.messageBoxes = false;
    LoadReport report;
    MemoryImage image;
    uint32_t start = 0;
    uint32_t size = 0;
    const int loaded = LoadMotFileWith(file, image, start, size, options, &report);
    if (!report.imageBuilt) {
        std::printf("  image               none (the file holds no usable data)\n");
        return false;
    }
    std::printf("  image               start 0x%08X, size 0x%08X (%u bytes), CRC-32 0x%08X\n",
                start, size, size, report.crc);
    if (report.damagedLines > 0) {
        std::printf("  damaged lines       %d\n", report.damagedLines);
    }
    if (report.storedFound) {
        std::printf("  %-19s %d (0x%08X): %s\n", "TQ8-CRC.INI", report.storedCrc,
                    static_cast<uint32_t>(report.storedCrc),
                    report.verified ? "verified" : "MISMATCH");
    } else {
        std::printf("  %-19s no value for %s in %s: not verified\n", "TQ8-CRC.INI",
                    report.key.c_str(), report.checksumFile.c_str());
    }
    bool ok = loaded == 1;
    if (!outputPath.empty()) {
        if (WriteImage(outputPath, image.Bytes())) {
            std::printf("  image written to    %s\n", outputPath.c_str());
        } else {
            std::printf("  image NOT written to %s\n", outputPath.c_str());
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int RunInspect(const InspectOptions& options) {
    if (options.files.empty()) {
        std::fprintf(stderr, "tq8flash inspect: no S-record file given\n");
        return kUsageError;
    }
    if (!options.output.empty() && options.files.size() != 1) {
        std::fprintf(stderr, "tq8flash inspect: --output takes the image of one file only\n");
        return kUsageError;
    }
    bool all = true;
    for (const std::string& path : options.files) {
        all = InspectFile(path, options.output) && all;
    }
    return all ? 0 : 1;
}
