// LoadMotFile and the file scans over arbitrary files. The checksum file lives in a
// private temporary folder; no message box is shown; images are kept small so that
// executions stay fast (the limit itself is tested by the unit tests).

#include <cstdlib>
#include <string>

#include "image/load_mot.h"
#include "image/srecord.h"
#include "memory_file.h"
#include "platform/process.h"

namespace {

std::string ChecksumDirectory() {
    static const std::string dir = [] {
        std::string pattern =
            std::string(std::getenv("TQ8_FUZZ_TMP") != nullptr ? std::getenv("TQ8_FUZZ_TMP")
                                                               : "/tmp") +
            "/tq8fuzzXXXXXX";
        const char* made = ::mkdtemp(pattern.data());
        return std::string(made != nullptr ? made : "/nonexistent");
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetMemoryFile(data, size);
    FileObj file;
    if (!file.fopen(kMemoryFileName, platform::kGenericRead, platform::kFileShareRead,
                    platform::kOpenExisting, platform::kFileAttributeNormal, 0)) {
        __builtin_trap();
    }
    // One input in sixteen runs as a maintainer and writes the checksum file.
    static const std::string maintainer = "greta.holmfeld";
    static const std::string operatorName = "operator";
    const bool asMaintainer = size > 0 && (data[size - 1] & 0x0F) == 0x0F;
    platform::SetUserNameOverride(asMaintainer ? &maintainer : &operatorName);

    LoadOptions options;
    options.checksumDirectory = ChecksumDirectory();
    options.messageBoxes = false;
    options.maxImageSize = 64U << 10;
    MemoryImage image;
    uint32_t start = 0;
    uint32_t imageSize = 0;
    LoadReport report;
    const int loaded = LoadMotFileWith(file, image, start, imageSize, options, &report);
    if (image.LockCount() != 0 || (loaded == 1 && file.fpos() != 0)) {
        __builtin_trap();
    }
    if (report.imageBuilt &&
        (start % 32 != 0 || imageSize % 32 != 0 || image.Size() != imageSize || imageSize == 0)) {
        __builtin_trap();
    }
    file.fseek(0);
    SRecordGetFileSizeBinary(file, data[0] & 1);
    file.fseek(0);
    SRecordGetTargetIdentifier(file);
    SRecordGetVersionIdentifier(file, 0);
    return 0;
}
