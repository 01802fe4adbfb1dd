#include "platform/profile.h"

#include <windows.h>

#include <string>

#include "platform/win32/unique_handle.h"

namespace platform {

namespace {

// A path without a separator would send the profile functions to the Windows folder.
std::string ProfilePath(const std::string& path) {
    return path.find_first_of("\\/") == std::string::npos ? ".\\" + path : path;
}

}  // namespace

int32_t ProfileGetInt(const char* section, const char* key, int32_t defaultValue,
                      const char* path) {
    return static_cast<int32_t>(
        ::GetPrivateProfileIntA(section, key, defaultValue, ProfilePath(path).c_str()));
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
    // The profile function rewrites the file in place; a crash in the middle would leave
    // half a file. It therefore works on a copy that then replaces the file in one step.
    const std::string target = path;
    const size_t cut = target.find_last_of("\\/");
    const std::string dir = cut == std::string::npos ? "." : target.substr(0, cut);
    char temp[MAX_PATH + 1] = "";
    if (::GetTempFileNameA(dir.c_str(), "tq8", 0, temp) == 0) {
        return false;
    }
    if (::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES && !::CopyFileA(path, temp, FALSE)) {
        ::DeleteFileA(temp);
        return false;
    }
    const std::string tempPath = ProfilePath(temp);
    if (!::WritePrivateProfileStringA(section, key, value, tempPath.c_str())) {
        ::DeleteFileA(temp);
        return false;
    }
    // Drop the profile cache's hold on the copy before it is moved.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, tempPath.c_str());
    {
        const UniqueHandle file(::CreateFileA(temp, GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            ::FlushFileBuffers(file.Get());
        }
    }
    if (!::MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileA(temp);
        return false;
    }
    return true;
}

}  // namespace platform
