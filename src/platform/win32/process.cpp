#include "platform/process.h"

#include <shlobj.h>
#include <windows.h>

#include <cstdlib>
#include <mutex>

namespace platform {
namespace {
std::mutex gOverrideMutex;
bool gHasOverride = false;
std::string gOverride;
}  // namespace

std::string SignalName(int) {
    return {};
}

std::string ProgramPath() {
    char buf[MAX_PATH + 1] = "";
    const DWORD n = ::GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
}

char PathSeparator() {
    return '\\';
}

std::string UserName() {
    {
        std::lock_guard<std::mutex> lock(gOverrideMutex);
        if (gHasOverride) {
            return gOverride;
        }
    }
    char buf[257] = "";
    DWORD size = sizeof buf;
    if (!::GetUserNameA(buf, &size)) {
        return {};
    }
    return buf;
}

void SetUserNameOverride(const std::string* name) {
    std::lock_guard<std::mutex> lock(gOverrideMutex);
    gHasOverride = name != nullptr;
    gOverride = name != nullptr ? *name : std::string();
}

std::string HostName() {
    char buf[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof buf;
    if (!::GetComputerNameA(buf, &size)) {
        return {};
    }
    return std::string(buf, size);
}

std::string UserDataDirectory() {
    char buf[MAX_PATH + 1] = "";
    if (SUCCEEDED(
            ::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf))) {
        return buf;
    }
    return Environment("LOCALAPPDATA");
}

uint32_t UserDefaultLcid() {
    return ::GetUserDefaultLCID();
}

LocalDate Today() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    return LocalDate{st.wYear, st.wMonth, st.wDay};
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool SetEnvironment(const char* name, const std::string& value) {
    // The C runtime keeps a copy of its own beside the process's environment block, which
    // a library with another runtime reads: both are set.
    const bool block =
        ::SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str()) || value.empty();
    return ::_putenv_s(name, value.c_str()) == 0 && block;
}

}  // namespace platform
