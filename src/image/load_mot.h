#pragma once
// Turns an S-record file into a memory image of the target (0xFF where no record
// writes) and checks the image's CRC-32 against the checksum file TQ8-CRC.INI.

#include <cstdint>
#include <string>

#include "image/file_obj.h"
#include "image/memory_image.h"

inline constexpr const char* kChecksumFileName = "TQ8-CRC.INI";
inline constexpr const char* kChecksumSection = "CRC";
// Larger images are refused as if the memory could not be had.
inline constexpr uint32_t kMaxImageSize = 64U << 20;

// Loads the file (open, at its beginning) into image, verifying against the checksum
// file in szProgramDirectory; a maintainer's load first brings the stored value up to
// date. 1 on success. On failure only what the failure tells is valid; a block once
// allocated stays with image (the caller's) on every path.
int LoadMotFile(FileObj& file, MemoryImage& image, uint32_t& start, uint32_t& size);

struct LoadOptions {
    std::string checksumDirectory;  // the folder of TQ8-CRC.INI
    bool maintainerStep = true;     // a maintainer's load may write the checksum file
    bool messageBoxes = true;       // the operator is told of a written or failed checksum
    uint32_t maxImageSize = kMaxImageSize;
};

// What a load found, for callers that show it.
struct LoadReport {
    bool imageBuilt = false;
    uint32_t crc = 0;
    int32_t storedCrc = 0;     // the value the verification compared with
    bool storedFound = false;  // the checksum file holds a value for the key
    bool verified = false;
    bool crcWritten = false;
    int damagedLines = 0;  // lines of the copy pass that could not be decoded
    // Those of them marked as data records (S1, S2, S3): a maintainer's load is refused.
    int damagedDataRecords = 0;
    std::string checksumFile;
    std::string key;
};

int LoadMotFileWith(FileObj& file, MemoryImage& image, uint32_t& start, uint32_t& size,
                    const LoadOptions& options, LoadReport* report = nullptr);

// Whether the account name is one of the two maintainer accounts (letter case ignored;
// names of 32 characters or more never are).
bool IsMaintainerAccount(const std::string& name);
