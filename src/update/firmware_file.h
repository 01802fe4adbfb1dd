#pragma once
// The firmware files of the program directory, opened as the update and the About box
// open them: for reading, shared for reading, existing files only.

#include "image/file_obj.h"

// szProgramDirectory, the separator and name, at most 259 characters.
void FirmwareFilePath(char (&path)[kMaxPath], const char* name);

// 1 when the file is open; otherwise the system's error code stays the last error.
int OpenFirmwareFile(FileObj& file, const char* path);
