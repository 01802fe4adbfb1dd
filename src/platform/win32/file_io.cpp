#include "platform/file_io.h"

#include <windows.h>

#include "platform/win32/unique_handle.h"

namespace platform {

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

bool WriteFileAtomically(const std::string& path, const std::string& data) {
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
    ok = ::FlushFileBuffers(file.Get()) && ok;
    ok = file.Close() && ok;
    if (!ok ||
        !::MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileA(temp);
        return false;
    }
    return true;
}

bool AppendLineDurably(const std::string& path, const std::string& line) {
    const size_t cut = path.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && !MakeDirectories(path.substr(0, cut))) {
        return false;
    }
    // With FILE_APPEND_DATA alone every write goes to the end of the file as one step.
    UniqueHandle file(::CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    if (!::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        return false;
    }
    if (written != line.size()) {
        ::SetLastError(ERROR_DISK_FULL);
        return false;
    }
    if (!::FlushFileBuffers(file.Get())) {
        return false;
    }
    return file.Close();
}

}  // namespace platform
