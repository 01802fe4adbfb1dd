#include "update/firmware_file.h"

#include "platform/file.h"
#include "platform/process.h"
#include "support/globals.h"
#include "support/utils.h"

void FirmwareFilePath(char (&path)[kMaxPath], const char* name) {
    const char separator[2] = {platform::PathSeparator(), '\0'};
    CopyString(path, szProgramDirectory, kMaxPath);
    AppendString(path, separator, kMaxPath);
    AppendString(path, name, kMaxPath);
}

int OpenFirmwareFile(FileObj& file, const char* path) {
    return file.fopen(path, platform::kGenericRead, platform::kFileShareRead,
                      platform::kOpenExisting, platform::kFileAttributeNormal, 0);
}
