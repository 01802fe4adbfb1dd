#include "platform/dynlib.h"

#include <windows.h>

#include <vector>

namespace platform {

std::string LibraryFileName(const std::string& windowsName) {
    return windowsName;
}

ModuleHandle OpenLibrary(const std::string& windowsName) {
    // A library that is missing or cannot be loaded is the caller's to handle, quietly:
    // no system error box.
    DWORD previousMode = 0;
    const bool modeSet =
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    // The program's directory, then the system's: never the current directory, nor PATH.
    HMODULE module =
        ::LoadLibraryExA(windowsName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    DWORD error = ::GetLastError();
    if (module == nullptr && error == ERROR_INVALID_PARAMETER) {
        // A system without the search flags: take the current directory out of the
        // standard order instead.
        ::SetDllDirectoryA("");
        module = ::LoadLibraryA(windowsName.c_str());
        error = ::GetLastError();
    }
    if (modeSet) {
        ::SetThreadErrorMode(previousMode, nullptr);
    }
    ::SetLastError(error);
    return module;
}

ModuleHandle OpenSystemLibrary(const std::string& fileName) {
    DWORD previousMode = 0;
    const bool modeSet =
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = ::LoadLibraryExA(fileName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const DWORD error = ::GetLastError();
    if (modeSet) {
        ::SetThreadErrorMode(previousMode, nullptr);
    }
    ::SetLastError(error);
    return module;
}

void CloseLibrary(ModuleHandle module) {
    if (module != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(module));
    }
}

void* FindSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

std::string ModuleFileName(ModuleHandle module) {
    char buf[MAX_PATH + 1] = "";
    const DWORD n = ::GetModuleFileNameA(static_cast<HMODULE>(module), buf, MAX_PATH);
    return std::string(buf, n);
}

std::optional<std::array<uint16_t, 4>> ModuleFileVersion(ModuleHandle module) {
    const std::string path = ModuleFileName(module);
    if (path.empty()) {
        return std::nullopt;
    }
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<char> info(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, info.data())) {
        return std::nullopt;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    return std::array<uint16_t, 4>{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                                   HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
}

}  // namespace platform
