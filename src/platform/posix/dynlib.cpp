#include "platform/dynlib.h"

#include <dlfcn.h>
#include <link.h>

#include <cerrno>
#include <cstdint>

#include "platform/errors.h"
#include "platform/process.h"

namespace platform {

std::string LibraryFileName(const std::string& windowsName) {
    std::string base = windowsName;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos) {
        base.resize(dot);
    }
    return "lib" + base + ".so";
}

ModuleHandle OpenLibrary(const std::string& windowsName) {
    const std::string file = LibraryFileName(windowsName);
    const std::string program = ProgramPath();
    const size_t cut = program.find_last_of('/');
    if (cut != std::string::npos) {
        const std::string local = program.substr(0, cut + 1) + file;
        if (void* handle = ::dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            return handle;
        }
    }
    // A bare name is looked up in the loader's standard places, never in the current
    // directory.
    if (void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        return handle;
    }
    SetLastError(ENOENT);
    return nullptr;
}

ModuleHandle OpenSystemLibrary(const std::string& fileName) {
    // Lazy binding: only the calls that are made are resolved.
    if (void* handle = ::dlopen(fileName.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
        return handle;
    }
    SetLastError(ENOENT);
    return nullptr;
}

void CloseLibrary(ModuleHandle module) {
    if (module != nullptr) {
        ::dlclose(module);
    }
}

void* FindSymbol(ModuleHandle module, const char* name) {
    return module != nullptr ? ::dlsym(module, name) : nullptr;
}

std::string ModuleFileName(ModuleHandle module) {
    if (module == nullptr) {
        return ProgramPath();
    }
    link_map* map = nullptr;
    if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) {
        return {};
    }
    return map->l_name;
}

std::optional<std::array<uint16_t, 4>> ModuleFileVersion(ModuleHandle module) {
    // Our libraries export their file version as the two halves of a Windows version
    // record: FileVersionMS = major << 16 | minor, FileVersionLS = build << 16 | revision.
    const auto* ms = static_cast<const uint32_t*>(FindSymbol(module, "FileVersionMS"));
    const auto* ls = static_cast<const uint32_t*>(FindSymbol(module, "FileVersionLS"));
    if (ms == nullptr || ls == nullptr) {
        return std::nullopt;
    }
    return std::array<uint16_t, 4>{static_cast<uint16_t>(*ms >> 16), static_cast<uint16_t>(*ms),
                                   static_cast<uint16_t>(*ls >> 16), static_cast<uint16_t>(*ls)};
}

}  // namespace platform
