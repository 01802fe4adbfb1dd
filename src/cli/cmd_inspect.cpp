#include "cli/cmd_inspect.h"

#include <cstdarg>
#include <cstdio>
#include <set>
#include <span>

#include "cli/json_out.h"

#include "image/file_obj.h"
#include "image/load_mot.h"
#include "image/srecord.h"
#include "platform/file.h"
#include "record/version_text.h"
#include "support/trace.h"

namespace {

constexpr int kUsageError = 2;

// The text output; with --json the same values go into the document instead.
bool gText = true;

void Text(const char* format, ...) TQ8_PRINTF(1, 2);
void Text(const char* format, ...) {
    if (!gText) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

nlohmann::json Optional(int64_t value, bool present) {
    return present ? nlohmann::json(value) : nlohmann::json(nullptr);
}

nlohmann::json VersionJson(int index, uint32_t value) {
    const auto text = VersionText(value);
    return {{"index", index},
            {"version", text ? nlohmann::json(*text) : nlohmann::json(nullptr)},
            {"value", Optional(value, value != kNoVersionValue)}};
}

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
        Text("  version [%d]         none\n", index);
        return;
    }
    Text("  version [%d]         %u.%02u.%u (0x%08X)\n", index, value >> 24, (value >> 16) & 0xFF,
         value & 0xFFFF, value);
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

// One file; true when it loads and verifies. doc receives the values.
bool InspectFile(const std::string& path, const std::string& outputPath, nlohmann::json& doc) {
    Text("%s\n", path.c_str());
    doc = {{"file", path}, {"opened", false}, {"ok", false}};
    FileObj file;
    if (!file.fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                    platform::kOpenExisting, platform::kFileAttributeNormal, 0)) {
        Text("  cannot be opened\n");
        return false;
    }
    doc["opened"] = true;
    const int32_t startAddress = SRecordGetStartAddress(file);
    file.fseek(0);
    const int32_t endAddress = SRecordGetEndAddress(file);
    Text("  start address       0x%08X%s\n", static_cast<unsigned>(startAddress),
         startAddress == -1 ? " (no record)" : "");
    Text("  end address         0x%08X%s\n", static_cast<unsigned>(endAddress),
         endAddress == -1 ? " (no data record)" : "");
    doc["start_address"] = Optional(static_cast<uint32_t>(startAddress), startAddress != -1);
    doc["end_address"] = Optional(static_cast<uint32_t>(endAddress), endAddress != -1);
    const int32_t counted = SRecordGetFileSizeBinary(file, false);
    file.fseek(0);
    const int32_t all = SRecordGetFileSizeBinary(file, true);
    file.fseek(0);
    if (counted < 0 || all < 0) {
        Text("  data size           unreadable (a line cannot be decoded)\n");
    } else {
        Text("  data size           %d bytes from 0x4000, %d bytes in all\n", counted, all);
    }
    doc["data_size_from_0x4000"] = Optional(counted, counted >= 0 && all >= 0);
    doc["data_size"] = Optional(all, counted >= 0 && all >= 0);
    const uint32_t target = SRecordGetTargetIdentifier(file);
    Text("  target identifier   0x%06X\n", target);
    doc["target_identifier"] = target;
    const uint32_t version0 = SRecordGetVersionIdentifier(file, 0);
    PrintVersion(0, version0);
    doc["versions"] = nlohmann::json::array({VersionJson(0, version0)});
    for (int index : VersionIndices(file)) {
        if (index != 0) {
            const uint32_t value = SRecordGetVersionIdentifier(file, index);
            PrintVersion(index, value);
            doc["versions"].push_back(VersionJson(index, value));
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
    doc["damaged_lines"] = report.damagedLines;
    doc["image"] = nullptr;
    if (!report.imageBuilt) {
        Text("  image               none (the file holds no usable data)\n");
        return false;
    }
    Text("  image               start 0x%08X, size 0x%08X (%u bytes), CRC-32 0x%08X\n", start, size,
         size, report.crc);
    doc["image"] = {{"start", start}, {"size", size}, {"crc32", report.crc}};
    if (report.damagedLines > 0) {
        Text("  damaged lines       %d\n", report.damagedLines);
    }
    if (report.storedFound) {
        Text("  %-19s %d (0x%08X): %s\n", "TQ8-CRC.INI", report.storedCrc,
             static_cast<uint32_t>(report.storedCrc), report.verified ? "verified" : "MISMATCH");
    } else {
        Text("  %-19s no value for %s in %s: not verified\n", "TQ8-CRC.INI", report.key.c_str(),
             report.checksumFile.c_str());
    }
    doc["checksum_file"] = {
        {"file", report.checksumFile},
        {"key", report.key},
        {"stored_crc32", Optional(static_cast<uint32_t>(report.storedCrc), report.storedFound)},
        {"verified", report.verified}};
    bool ok = loaded == 1;
    if (!outputPath.empty()) {
        const bool written = WriteImage(outputPath, image.Bytes());
        Text(written ? "  image written to    %s\n" : "  image NOT written to %s\n",
             outputPath.c_str());
        doc["image_written_to"] = written ? nlohmann::json(outputPath) : nlohmann::json(nullptr);
        ok = ok && written;
    }
    doc["ok"] = ok;
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
    gText = !options.json;
    bool all = true;
    nlohmann::json documents = nlohmann::json::array();
    for (const std::string& path : options.files) {
        nlohmann::json doc;
        all = InspectFile(path, options.output, doc) && all;
        documents.push_back(std::move(doc));
    }
    if (options.json) {
        PrintJson({{"files", documents}, {"ok", all}});
    }
    return all ? 0 : 1;
}
