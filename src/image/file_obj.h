#pragma once
// FileObj: one file, read through a 2048-byte buffer as raw bytes or as text lines, with
// writing, pattern search and an optional one-byte scrambling of the file's contents.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/globals.h"

// Mode bits of fopen.
inline constexpr uint32_t kFileModeUnscrambleRead = 0x1;
inline constexpr uint32_t kFileModeScrambleWrite = 0x2;

// The OpenFile-style flags of the flag form of fopen.
inline constexpr uint32_t kOfRead = 0x0000;
inline constexpr uint32_t kOfWrite = 0x0001;
inline constexpr uint32_t kOfReadWrite = 0x0002;
inline constexpr uint32_t kOfShareExclusive = 0x0010;
inline constexpr uint32_t kOfShareDenyWrite = 0x0020;
inline constexpr uint32_t kOfShareDenyRead = 0x0030;
inline constexpr uint32_t kOfShareDenyNone = 0x0040;
inline constexpr uint32_t kOfCreate = 0x1000;

inline constexpr uint32_t kFileBufferSize = 2048;

// The byte every file byte is XORed with when scrambling is on.
inline constexpr uint8_t kFileScrambleKey = 0xA5;

class FileObj {
  public:
    FileObj();
    ~FileObj();
    FileObj(const FileObj&) = delete;
    FileObj& operator=(const FileObj&) = delete;

    // Both return 1 when the file is open, 0 when not (the system's error code then stays
    // the last error). Paths longer than 259 characters are refused.
    int fopen(const char* path, uint32_t desiredAccess, uint32_t shareMode,
              uint32_t creationDisposition, uint32_t flagsAndAttributes, uint32_t mode);
    int fopen(const char* path, uint32_t openFlags, uint32_t mode, uint32_t flagsAndAttributes);

    int fclose();
    int32_t fread(void* dest, int32_t count);
    // A line ends at CR, LF, CR LF or (when the bytes hold no CR or LF) Ctrl-Z; a line
    // longer than size - 1 comes in pieces. Null at the end of the file.
    char* fgets(char* dest, int size);
    int fseek(int32_t position);
    int fseek(int32_t offset, int origin);
    int feof();
    int32_t fpos();
    uint32_t fsize();
    int32_t fwrite(const void* data, int32_t count);
    int32_t fputs(const char* text);
    int setpattern(const char* pattern, int32_t length = -1);
    int32_t findrecord(void* dest, int32_t size);
    int findline(char* dest, int size);

    bool IsOpen() const { return hFile != platform::kInvalidFile; }

    int32_t nLine;
    platform::FileHandle hFile;
    char szFileName[kMaxPath];
    int32_t lPos;
    int32_t lBufStart;
    int32_t lBufEnd;
    uint32_t dwBufSize;
    std::vector<uint8_t> hBuffer;  // the read buffer while one is held
    uint8_t* pBuffer;              // its bytes; null when none is held
    std::optional<std::string> pszPattern;
    int32_t nPatternLen;
    uint32_t dwMode;

  private:
    int OpenWith(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                 uint32_t flagsAndAttributes, uint32_t mode);
    // Reads up to dwBufSize bytes from the file's current position into the buffer,
    // taking them as starting at lBufStart. Returns the count (0 on failure).
    uint32_t FillBuffer();
    int Reposition(int32_t position);
    // Refills the buffer at lPos, where it ends; false when nothing more can be read.
    bool RefillAtPos();

    // Handles of files that a second fopen pushed out; closed with the object.
    std::vector<platform::FileHandle> lostHandles_;
};
