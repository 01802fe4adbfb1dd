#include "platform/file_io.h"

#include <windows.h>

#include "platform/clock.h"
#include "platform/win32/unique_handle.h"

namespace platform {

namespace {

// A pipe, a console or a COM port opened by its name is no file to keep records in.
bool IsRegularFile(HANDLE file) {
    return ::GetFileType(file) == FILE_TYPE_DISK;
}

// Appenders of the record file lock one byte far beyond any data around their write and
// its repair, so that cutting back a failed write never cuts another's line; readers of
// the file are not held up, as a lock over the data would hold them.
constexpr DWORD kAppendLockHigh = 0x7FFFFFFF;
constexpr DWORD kAppendLockLow = 0xFFFFFFFE;
constexpr uint32_t kAppendLockWaitMs = 10000;

bool LockForAppend(HANDLE file) {
    const uint32_t start = MonotonicMs();
    for (;;) {
        OVERLAPPED at{};
        at.Offset = kAppendLockLow;
        at.OffsetHigh = kAppendLockHigh;
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            return true;
        }
        if (::GetLastError() != ERROR_LOCK_VIOLATION) {
            // A file system without locks: appending stays one write, only the repair of
            // a failed one could race.
            return true;
        }
        if (MonotonicMs() - start >= kAppendLockWaitMs) {
            return false;
        }
        SleepMs(2);
    }
}

// Cuts the file back to size through a handle of its own: the appending one may not.
void CutBack(const std::string& path, LONGLONG size) {
    const UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at{};
    at.QuadPart = size;
    if (file && ::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) &&
        ::SetEndOfFile(file.Get())) {
        ::FlushFileBuffers(file.Get());
    }
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& data) {
    data.clear();
    const UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD err = ::GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                          : ReadResult::Error;
    }
    char chunk[4096];
    DWORD got = 0;
    ReadResult result = ReadResult::Ok;
    for (;;) {
        if (!::ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr)) {
            result = ReadResult::Error;
            break;
        }
        if (got == 0) {
            break;
        }
        data.append(chunk, got);
    }
    return result;
}

ReadResult ReadFileInPieces(const std::string& path,
                            const std::function<bool(std::string_view)>& take, uint64_t from) {
    const UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD err = ::GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                          : ReadResult::Error;
    }
    if (!IsRegularFile(file.Get())) {
        return ReadResult::NotRegularFile;
    }
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(from);
    if (from > 0 && !::SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN)) {
        return ReadResult::Error;
    }
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr)) {
            return ReadResult::Error;
        }
        if (got == 0 || !take(std::string_view(chunk, got))) {
            return ReadResult::Ok;
        }
    }
}

bool MakeDirectories(const std::string& path) {
    if (path.empty()) {
        return true;
    }
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    const size_t cut = path.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && path[cut - 1] != ':' &&
        !MakeDirectories(path.substr(0, cut))) {
        return false;
    }
    return ::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteFileAtomically(const std::string& path, const std::string& data, bool durable) {
    const size_t cut = path.find_last_of("\\/");
    const std::string dir = cut == std::string::npos ? "." : path.substr(0, cut);
    if (!MakeDirectories(dir)) {
        return false;
    }
    char temp[MAX_PATH + 1] = "";
    if (::GetTempFileNameA(dir.c_str(), "tq8", 0, temp) == 0) {
        return false;
    }
    UniqueHandle file(::CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ::DeleteFileA(temp);
        return false;
    }
    DWORD written = 0;
    bool ok =
        ::WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
        written == data.size();
    ok = (!durable || ::FlushFileBuffers(file.Get())) && ok;
    ok = file.Close() && ok;
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (!ok || !::MoveFileExA(temp, path.c_str(), flags)) {
        ::DeleteFileA(temp);
        return false;
    }
    return true;
}

AppendResult AppendLineDurably(const std::string& path, const std::string& line) {
    const size_t cut = path.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && !MakeDirectories(path.substr(0, cut))) {
        return AppendResult::Failed;
    }
    // With FILE_APPEND_DATA and no FILE_WRITE_DATA every write goes to the end of the file
    // as one step; FILE_READ_DATA reads the last byte and allows the lock.
    UniqueHandle file(::CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return AppendResult::Failed;
    }
    if (!IsRegularFile(file.Get())) {
        return AppendResult::NotRegularFile;
    }
    LARGE_INTEGER before{};
    if (!LockForAppend(file.Get()) || !::GetFileSizeEx(file.Get(), &before)) {
        return AppendResult::Failed;
    }
    // A line left without its end (by an older program, or an editor) must not swallow
    // the start of this one.
    std::string data;
    if (before.QuadPart > 0) {
        OVERLAPPED at{};
        const ULONGLONG lastByte = static_cast<ULONGLONG>(before.QuadPart - 1);
        at.Offset = static_cast<DWORD>(lastByte);
        at.OffsetHigh = static_cast<DWORD>(lastByte >> 32);
        char last = '\n';
        DWORD got = 0;
        if (::ReadFile(file.Get(), &last, 1, &got, &at) && got == 1 && last != '\n') {
            data.push_back('\n');
        }
    }
    data += line;
    DWORD written = 0;
    bool ok =
        ::WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    if (ok && written != data.size()) {
        ::SetLastError(ERROR_DISK_FULL);
        ok = false;
    }
    if (!ok || !::FlushFileBuffers(file.Get())) {
        const DWORD error = ::GetLastError();
        CutBack(path, before.QuadPart);
        ::SetLastError(error);
        return AppendResult::Failed;
    }
    return file.Close() ? AppendResult::Ok : AppendResult::Failed;
}

}  // namespace platform
