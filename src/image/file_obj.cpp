#include "image/file_obj.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/errors.h"
#include "support/trace.h"
#include "support/utils.h"

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCtrlZ = 0x1A;

// Positions are 32-bit: a refill that would run past the largest one reads nothing, so
// files beyond 2 GiB end there instead of wrapping.
constexpr int32_t kLastBufferStart = INT32_MAX - static_cast<int32_t>(kFileBufferSize);

// Index of the first CR or LF among the n bytes, or n.
int32_t FirstLineEnd(const uint8_t* bytes, int32_t n) {
    const auto* cr = static_cast<const uint8_t*>(std::memchr(bytes, kCr, static_cast<size_t>(n)));
    const int32_t bound = cr != nullptr ? static_cast<int32_t>(cr - bytes) : n;
    const auto* lf =
        static_cast<const uint8_t*>(std::memchr(bytes, kLf, static_cast<size_t>(bound)));
    return lf != nullptr ? static_cast<int32_t>(lf - bytes) : bound;
}

// MatchPattern over a record of known length, which may hold any byte.
bool MatchRecord(const uint8_t* record, size_t length, const char* pattern) {
    if (pattern == nullptr) {
        return true;
    }
    for (size_t i = 0; pattern[i] != '\0'; ++i) {
        if (pattern[i] == '*') {
            return true;
        }
        if (i >= length) {
            return false;
        }
        if (pattern[i] != '?' && static_cast<uint8_t>(pattern[i]) != record[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

FileObj::FileObj()
    : nLine(0),
      hFile(platform::kInvalidFile),
      szFileName{},
      lPos(0),
      lBufStart(0),
      lBufEnd(0),
      dwBufSize(0),
      pBuffer(nullptr),
      nPatternLen(0),
      dwMode(0) {}

FileObj::~FileObj() {
    if (IsOpen()) {
        fclose();
    }
    for (platform::FileHandle lost : lostHandles_) {
        platform::FileClose(lost);
    }
}

int FileObj::fopen(const char* path, uint32_t desiredAccess, uint32_t shareMode,
                   uint32_t creationDisposition, uint32_t flagsAndAttributes, uint32_t mode) {
    return OpenWith(path, desiredAccess, shareMode, creationDisposition, flagsAndAttributes, mode);
}

int FileObj::fopen(const char* path, uint32_t openFlags, uint32_t mode,
                   uint32_t flagsAndAttributes) {
    uint32_t access = 0;
    switch (openFlags & 0x0F) {
        case kOfRead:
            access = platform::kGenericRead;
            break;
        case kOfWrite:
            access = platform::kGenericWrite;
            break;
        case kOfReadWrite:
            access = platform::kGenericRead | platform::kGenericWrite;
            break;
        default:
            break;
    }
    if ((openFlags & 0xF000) == kOfCreate) {
        access |= platform::kGenericWrite;
    }
    uint32_t share;
    switch (openFlags & 0xF0) {
        case kOfShareExclusive:
            share = 0;
            break;
        case kOfShareDenyWrite:
            share = platform::kFileShareRead;
            break;
        case kOfShareDenyRead:
            share = platform::kFileShareWrite;
            break;
        case kOfShareDenyNone:
            share = platform::kFileShareRead | platform::kFileShareWrite;
            break;
        default:
            share = platform::kFileShareRead;
            break;
    }
    const uint32_t disposition = (openFlags & 0x0001) != 0 || (openFlags & 0x1000) != 0
                                     ? platform::kCreateAlways
                                     : platform::kOpenExisting;
    return OpenWith(path, access, share, disposition, flagsAndAttributes, mode);
}

int FileObj::OpenWith(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                      uint32_t flagsAndAttributes, uint32_t mode) {
    if (path == nullptr) {
        path = "";
    }
    TraceFile(4, "{cb}fopen (\"%s\")", path);
    // A path that does not fit szFileName is refused before anything changes.
    if (std::strlen(path) >= sizeof szFileName) {
        const uint32_t code = platform::PathTooLongError();
        TraceFile(2, "{cr}fopen \"%s\" = %s", path, GetSystemErrorText(code));
        platform::SetLastError(code);
        return 0;
    }
    if (IsOpen()) {
        TraceFile(2, "{cr}fopen \"%s\" : object is already used!", path);
        TraceFile(2, "{cr} open file is \"%s\"", szFileName);
        TraceFile(3, "{cy} Congratulation! File-handle %d is lost for this instance!",
                  static_cast<int>(hFile));
        lostHandles_.push_back(hFile);
        hFile = platform::kInvalidFile;
    }
    dwBufSize = kFileBufferSize;
    hBuffer.assign(dwBufSize, 0);
    pBuffer = hBuffer.data();
    CopyString(szFileName, path, sizeof szFileName);
    dwMode = mode;
    lPos = lBufStart = lBufEnd = 0;
    nLine = 0;

    hFile = platform::FileOpen(path, access, share, disposition, flagsAndAttributes);
    TraceFile(4, "{cb}CreateFile (\"%s\"): FileHandle = %d", path, static_cast<int>(hFile));
    if (!IsOpen()) {
        const uint32_t code = platform::LastError();
        TraceFile(2, "{cr}fopen \"%s\" = %s", path, GetSystemErrorText(code));
        platform::SetLastError(code);
        return 0;
    }
    const uint32_t got = FillBuffer();
    TraceFile(4, "{cc}CreateFile + ReadFile (\"%s\", %d Byte)", path, static_cast<int>(got));
    lBufEnd = static_cast<int32_t>(got);
    TraceFile(4, "{cg}*fopen (\"%s\") = (HFILE %d)", path, static_cast<int>(hFile));
    return 1;
}

uint32_t FileObj::FillBuffer() {
    if (lBufStart > kLastBufferStart) {
        return 0;
    }
    uint32_t got = 0;
    if (!platform::FileRead(hFile, pBuffer, dwBufSize, &got)) {
        got = 0;
    }
    got = std::min(got, dwBufSize);
    if ((dwMode & kFileModeUnscrambleRead) != 0) {
        XorBuffer(pBuffer, kFileScrambleKey, got);
    }
    return got;
}

int FileObj::fclose() {
    TraceFile(4, "{cb}fclose (\"%s\")", szFileName);
    if (!IsOpen()) {
        return 0;
    }
    if (!platform::FileClose(hFile)) {
        TraceFile(2, "{cr}fclose (\"%s\"): %s!", szFileName,
                  GetSystemErrorText(platform::LastError()));
        return 0;
    }
    hFile = platform::kInvalidFile;
    TraceFile(4, "{cg}*fclose (\"%s\")", szFileName);
    szFileName[0] = '\0';
    hBuffer.clear();
    hBuffer.shrink_to_fit();
    pBuffer = nullptr;
    lPos = lBufStart = lBufEnd = 0;
    return 1;
}

bool FileObj::RefillAtPos() {
    lBufStart = lPos;
    const uint32_t got = FillBuffer();
    TraceFile(5, "{cc}ReadFile (\"%s\", %d Byte)", szFileName, static_cast<int>(got));
    lBufEnd = lBufStart + static_cast<int32_t>(got);
    return got > 0;
}

int32_t FileObj::fread(void* dest, int32_t count) {
    if (!IsOpen() || count <= 0) {
        return 0;
    }
    auto* out = static_cast<uint8_t*>(dest);
    int32_t delivered = 0;
    for (;;) {
        const int32_t take = std::min(count - delivered, lBufEnd - lPos);
        std::memcpy(out + delivered, pBuffer + (lPos - lBufStart), static_cast<size_t>(take));
        delivered += take;
        lPos += take;
        if (delivered == count || !RefillAtPos()) {
            return delivered;
        }
    }
}

// Reads the line straight out of the buffer, so that a line scan costs one file read
// per buffer and no read twice; what it delivers is what reading size - 1 bytes and
// cutting them at the first line end gives.
char* FileObj::fgets(char* dest, int size) {
    if (size <= 0) {
        return nullptr;
    }
    if (!IsOpen()) {
        dest[0] = '\0';
        return nullptr;
    }
    const int32_t lineStart = lPos;
    const int32_t want = size - 1;
    int32_t got = 0;
    int mark = -1;
    while (got < want) {
        if (lPos == lBufEnd && !RefillAtPos()) {
            break;
        }
        const int32_t avail = std::min(want - got, lBufEnd - lPos);
        const uint8_t* src = pBuffer + (lPos - lBufStart);
        const int32_t k = FirstLineEnd(src, avail);
        std::memcpy(dest + got, src, static_cast<size_t>(k));
        got += k;
        lPos += k;
        if (k < avail) {
            mark = src[k];
            ++lPos;
            break;
        }
    }
    if (mark < 0) {
        if (got == 0) {
            dest[0] = '\0';
            return nullptr;
        }
        ++nLine;
        const void* z = std::memchr(dest, kCtrlZ, static_cast<size_t>(got));
        if (z == nullptr) {
            dest[got] = '\0';
            return dest;
        }
        const int32_t at = static_cast<int32_t>(static_cast<const char*>(z) - dest);
        dest[at] = '\0';
        fseek(lineStart + at + 1);
        mark = kCtrlZ;
    } else {
        ++nLine;
        dest[got] = '\0';
    }
    if (mark != kLf) {
        // CR and Ctrl-Z take an LF that follows them along.
        if (lPos == lBufEnd) {
            RefillAtPos();
        }
        if (lPos < lBufEnd && pBuffer[lPos - lBufStart] == kLf) {
            ++lPos;
        }
    }
    return dest;
}

int FileObj::fseek(int32_t position) {
    if (position < 0 || !IsOpen()) {
        return 0;
    }
    if (position == 0) {
        nLine = 0;
    }
    lPos = position;
    return Reposition(position);
}

int FileObj::Reposition(int32_t position) {
    if (lBufStart <= position && position < lBufEnd) {
        return 1;
    }
    lBufStart = position;
    if (platform::FileSeek(hFile, position, platform::kFileBegin) < 0) {
        lBufEnd = lBufStart;
        return 0;
    }
    lBufEnd = lBufStart + static_cast<int32_t>(FillBuffer());
    return 1;
}

int FileObj::fseek(int32_t offset, int origin) {
    if (!IsOpen()) {
        return 0;
    }
    int64_t position = -1;
    switch (origin) {
        case 0:
            position = offset;
            break;
        case 1:
            position = static_cast<int64_t>(lPos) + offset;
            break;
        case 2:
            position = static_cast<int64_t>(fsize()) - offset;
            break;
        default:
            break;
    }
    if (position >= 0 && position <= INT32_MAX) {
        fseek(static_cast<int32_t>(position));
    }
    return Reposition(lPos);
}

int FileObj::feof() {
    if (!IsOpen()) {
        return 1;
    }
    if (fseek(lPos) == 0 || lBufStart == lBufEnd) {
        return 1;
    }
    return 0;
}

int32_t FileObj::fpos() {
    if (!IsOpen()) {
        TraceFile(2, "{cr}fpos (\"%s\"): file not open!", szFileName);
        return -1;
    }
    return lPos;
}

uint32_t FileObj::fsize() {
    if (!IsOpen()) {
        return 0xFFFFFFFF;
    }
    const int64_t size = platform::FileSize(hFile);
    return size < 0 ? 0xFFFFFFFF : static_cast<uint32_t>(size & 0xFFFFFFFF);
}

int32_t FileObj::fwrite(const void* data, int32_t count) {
    TraceFile(4, "{cb}fwrite (\"%s\")", szFileName);
    if (!IsOpen() || count <= 0) {
        return 0;
    }
    const auto* plain = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> scrambled;
    const uint8_t* out = plain;
    if ((dwMode & kFileModeScrambleWrite) != 0) {
        scrambled.assign(plain, plain + count);
        XorBuffer(scrambled.data(), kFileScrambleKey, scrambled.size());
        out = scrambled.data();
    }
    uint32_t written = 0;
    bool ok = platform::FileSeek(hFile, lPos, platform::kFileBegin) >= 0 &&
              platform::FileWrite(hFile, out, static_cast<uint32_t>(count), &written);
    written = std::min(written, static_cast<uint32_t>(count));
    // The buffer keeps what the file now holds, so a later read of the range does not
    // return the bytes from before the write.
    const int64_t from = std::max<int64_t>(lPos, lBufStart);
    const int64_t to = std::min<int64_t>(static_cast<int64_t>(lPos) + written, lBufEnd);
    if (pBuffer != nullptr && from < to) {
        std::memcpy(pBuffer + (from - lBufStart), plain + (from - lPos),
                    static_cast<size_t>(to - from));
    }
    if (ok && written == static_cast<uint32_t>(count)) {
        const int64_t after = platform::FileSeek(hFile, 0, platform::kFileCurrent);
        lPos = after >= 0 && after <= INT32_MAX ? static_cast<int32_t>(after) : lPos + count;
        const int32_t keptStart = lBufStart;
        const int32_t keptEnd = lBufEnd;
        fseek(lPos);
        if (lBufStart == keptStart && lBufEnd == keptEnd) {
            // The buffer was kept: the next refill must continue behind it.
            platform::FileSeek(hFile, lBufEnd, platform::kFileBegin);
        }
        TraceFile(4, "{cg}*fwrite (\"%s\"); pos = %d", szFileName, static_cast<int>(lPos));
    } else {
        const uint32_t code = platform::LastError();
        TraceFile(2, "{cr}WriteFile (\"%s\" = %s", szFileName, GetSystemErrorText(code));
        // The file pointer stands behind the written part; refills continue behind the buffer.
        platform::FileSeek(hFile, lBufEnd, platform::kFileBegin);
        platform::SetLastError(code);
    }
    return static_cast<int32_t>(written);
}

int32_t FileObj::fputs(const char* text) {
    TraceFile(4, "{cc}fputs (\"%s\", \"%s\")", szFileName, text);
    return fwrite(text, static_cast<int32_t>(std::strlen(text)));
}

int FileObj::setpattern(const char* pattern, int32_t length) {
    pszPattern.reset();
    nPatternLen = length == -1
                      ? (pattern != nullptr ? static_cast<int32_t>(std::strlen(pattern)) : 0)
                      : length;
    if (pattern == nullptr || pattern[0] == '*') {
        return 0;
    }
    pszPattern = std::string(pattern);
    return 1;
}

int32_t FileObj::findrecord(void* dest, int32_t size) {
    if (size < nPatternLen || nPatternLen <= 0) {
        return 0;
    }
    for (;;) {
        if (fread(dest, nPatternLen) < nPatternLen) {
            return 0;
        }
        if (MatchRecord(static_cast<const uint8_t*>(dest), static_cast<size_t>(nPatternLen),
                        pszPattern ? pszPattern->c_str() : nullptr)) {
            return nPatternLen;
        }
    }
}

int FileObj::findline(char* dest, int size) {
    while (fgets(dest, size) != nullptr) {
        if (MatchPattern(dest, pszPattern ? pszPattern->c_str() : nullptr)) {
            return 1;
        }
    }
    return 0;
}
