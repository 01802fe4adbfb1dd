// tq8flash inspect FILE... [--output IMAGE]

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>
#include <span>
#include <string>

#include "cli/bundle_text.h"
#include "cli/commands.h"
#include "cli/console_text.h"
#include "cli/json_out.h"

#include "image/file_obj.h"
#include "image/load_mot.h"
#include "image/srecord.h"
#include "platform/file.h"
#include "record/record_line.h"
#include "support/trace.h"
#include "update/version_text.h"

namespace {

struct InspectOptions {
    std::vector<std::string> files;  // S-record files, as given
    std::string output;              // "" writes no image
    bool json = false;               // one JSON document instead of the text
};

constexpr int kUsageError = 2;

// The text output; with --json the same values go into the document instead.
class TextOutput {
  public:
    explicit TextOutput(bool on) : on_(on) {}

    void Print(const char* format, ...) TQ8_PRINTF(2, 3);

    // One value under its label; labels are padded by what a terminal shows, so German
    // labels with umlauts line up too.
    void Field(const char* label, const std::string& value) {
        constexpr size_t kLabelWidth = 19;
        const std::string text = label;
        const size_t width = TerminalWidth(text);
        Print("  %s%s %s\n", text.c_str(),
              std::string(kLabelWidth - std::min(width, kLabelWidth), ' ').c_str(), value.c_str());
    }

    void Field(Cli label, const std::string& value) { Field(ConsoleText(label), value); }

  private:
    bool on_;
};

void TextOutput::Print(const char* format, ...) {
    if (!on_) {
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

void PrintVersion(TextOutput& shown, int index, uint32_t value) {
    const std::string label = ConsoleFormat(Cli::kInspectVersion, index);
    if (value == 0xFFFFFFFF) {
        shown.Field(label.c_str(), ConsoleText(Cli::kInspectVersionNone));
        return;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%u.%02u.%u (0x%08X)", value >> 24, (value >> 16) & 0xFF,
                  value & 0xFFFF, value);
    shown.Field(label.c_str(), text);
}

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
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
bool InspectFile(TextOutput& shown, const std::string& path, const std::string& outputPath,
                 nlohmann::json& doc) {
    shown.Print("%s\n", path.c_str());
    doc = {{"file", path}, {"opened", false}, {"ok", false}};
    FileObj file;
    if (!file.fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                    platform::kOpenExisting, platform::kFileAttributeNormal, 0)) {
        shown.Print("  %s\n", ConsoleText(Cli::kInspectCannotOpen));
        return false;
    }
    doc["opened"] = true;
    const int32_t startAddress = SRecordGetStartAddress(file);
    file.fseek(0);
    const int32_t endAddress = SRecordGetEndAddress(file);
    shown.Field(Cli::kInspectStartAddress,
                Hex32(static_cast<uint32_t>(startAddress)) +
                    (startAddress == -1 ? ConsoleText(Cli::kInspectNoRecord) : ""));
    shown.Field(Cli::kInspectEndAddress,
                Hex32(static_cast<uint32_t>(endAddress)) +
                    (endAddress == -1 ? ConsoleText(Cli::kInspectNoDataRecord) : ""));
    doc["start_address"] = Optional(static_cast<uint32_t>(startAddress), startAddress != -1);
    doc["end_address"] = Optional(static_cast<uint32_t>(endAddress), endAddress != -1);
    const int32_t counted = SRecordGetFileSizeBinary(file, false);
    file.fseek(0);
    const int32_t all = SRecordGetFileSizeBinary(file, true);
    file.fseek(0);
    if (counted < 0 || all < 0) {
        shown.Field(Cli::kInspectDataSize, ConsoleText(Cli::kInspectDataUnreadable));
    } else {
        shown.Field(Cli::kInspectDataSize, ConsoleFormat(Cli::kInspectDataSizeValue, counted, all));
    }
    doc["data_size_from_0x4000"] = Optional(counted, counted >= 0 && all >= 0);
    doc["data_size"] = Optional(all, counted >= 0 && all >= 0);
    const uint32_t target = SRecordGetTargetIdentifier(file);
    char targetText[16];
    std::snprintf(targetText, sizeof targetText, "0x%06X", target);
    shown.Field(Cli::kInspectTarget, targetText);
    doc["target_identifier"] = target;
    const uint32_t version0 = SRecordGetVersionIdentifier(file, 0);
    PrintVersion(shown, 0, version0);
    doc["versions"] = nlohmann::json::array({VersionJson(0, version0)});
    for (int index : VersionIndices(file)) {
        if (index != 0) {
            const uint32_t value = SRecordGetVersionIdentifier(file, index);
            PrintVersion(shown, index, value);
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
        shown.Field(Cli::kInspectImage, ConsoleText(Cli::kInspectImageNone));
        return false;
    }
    shown.Field(Cli::kInspectImage,
                ConsoleFormat(Cli::kInspectImageValue, start, size, size, report.crc));
    doc["image"] = {{"start", start}, {"size", size}, {"crc32", report.crc}};
    if (report.damagedLines > 0) {
        shown.Field(Cli::kInspectDamagedLines, std::to_string(report.damagedLines));
    }
    if (report.storedFound) {
        shown.Field("TQ8-CRC.INI", std::to_string(report.storedCrc) + " (" +
                                       Hex32(static_cast<uint32_t>(report.storedCrc)) + "): " +
                                       ConsoleText(report.verified ? Cli::kInspectVerified
                                                                   : Cli::kInspectMismatch));
    } else {
        shown.Field("TQ8-CRC.INI", ConsoleFormat(Cli::kInspectNoValue, report.key.c_str(),
                                                 report.checksumFile.c_str()));
    }
    doc["checksum_file"] = {
        {"file", report.checksumFile},
        {"key", report.key},
        {"stored_crc32", Optional(static_cast<uint32_t>(report.storedCrc), report.storedFound)},
        {"verified", report.verified}};
    bool ok = loaded == 1;
    if (!outputPath.empty()) {
        const bool written = WriteImage(outputPath, image.Bytes());
        shown.Field(written ? Cli::kInspectWritten : Cli::kInspectNotWritten, outputPath);
        doc["image_written_to"] = written ? nlohmann::json(outputPath) : nlohmann::json(nullptr);
        ok = ok && written;
    }
    doc["ok"] = ok;
    return ok;
}

// The bundle of the file's folder, as an update would find it.
void InspectBundle(TextOutput& shown, const std::string& path, nlohmann::json& doc) {
    const std::string folder = DirectoryOf(path);
    const bundle::BundleCheck check = CheckInstalled(folder);
    shown.Print("  %s", BundleStateText(check, folder).c_str());
    doc["bundle"] = nlohmann::json::parse(BundleObject(check));
}

// Prints what the loader reads from each S-record file and whether its image verifies
// against the TQ8-CRC.INI beside it. 0 when every file loads and verifies.
int RunInspect(const InspectOptions& options) {
    if (options.files.empty()) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kInspectNoFile));
        return kUsageError;
    }
    if (!options.output.empty() && options.files.size() != 1) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kInspectOutputOneFile));
        return kUsageError;
    }
    TextOutput shown(!options.json);
    bool all = true;
    nlohmann::json documents = nlohmann::json::array();
    for (const std::string& path : options.files) {
        nlohmann::json doc;
        all = InspectFile(shown, path, options.output, doc) && all;
        InspectBundle(shown, path, doc);
        documents.push_back(std::move(doc));
    }
    if (options.json) {
        PrintJson({{"files", documents}, {"ok", all}});
    }
    return all ? 0 : 1;
}

class InspectCommand : public Command {
  public:
    InspectCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, "inspect",
                  "Show addresses, sizes, versions and the image checksum of S-record files") {
        App().add_option("FILE", inspect_.files, "S-record files")->required();
        App()
            .add_option("-o,--output", inspect_.output, "write the image of the one file given")
            ->type_name("IMAGE");
        AddJsonOption(App(), inspect_.json, "the files' values as one JSON document on stdout");
        AddLanguageOption(App(), options);
    }

    // The files alone: no machine, no port.
    RunSetup Setup(const RunOptions&) const override { return RunSetup::Language; }
    int Run(ConsoleSession&, const RunOptions&) override { return RunInspect(inspect_); }

  private:
    InspectOptions inspect_;
};

}  // namespace

std::unique_ptr<Command> AddInspectCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<InspectCommand>(app, options);
}
