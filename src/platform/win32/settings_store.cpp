#include "platform/settings_store.h"

#include <windows.h>

namespace platform {
namespace {

HKEY RootKey(SettingsRoot root) {
    return reinterpret_cast<HKEY>(root);
}

DWORD RegistryType(ValueKind kind) {
    switch (kind) {
        case ValueKind::String:
            return REG_SZ;
        case ValueKind::Dword:
            return REG_DWORD;
        case ValueKind::Binary:
            break;
    }
    return REG_BINARY;
}

}  // namespace

bool SettingsOpenKey(SettingsRoot root, const std::string& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(handle);
    return true;
}

std::optional<SettingsValue> SettingsQuery(SettingsRoot root, const std::string& key,
                                           const std::string& name) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    std::optional<SettingsValue> result;
    if (::RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        SettingsValue value{type == REG_DWORD                           ? ValueKind::Dword
                            : (type == REG_SZ || type == REG_EXPAND_SZ) ? ValueKind::String
                                                                        : ValueKind::Binary,
                            std::vector<uint8_t>(size)};
        if (::RegQueryValueExA(handle, name.c_str(), nullptr, &type, value.data.data(), &size) ==
            ERROR_SUCCESS) {
            value.data.resize(size);
            result = std::move(value);
        }
    }
    ::RegCloseKey(handle);
    return result;
}

bool SettingsWrite(SettingsRoot root, const std::string& key, const std::string& name,
                   const SettingsValue& value) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_WRITE, &handle) != ERROR_SUCCESS &&
        ::RegCreateKeyExA(RootKey(root), key.c_str(), 0, const_cast<char*>(""),
                          REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &handle,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG rc = ::RegSetValueExA(handle, name.c_str(), 0, RegistryType(value.kind),
                                     value.data.data(), static_cast<DWORD>(value.data.size()));
    ::RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

std::string SettingsFilePath() {
    return {};
}

}  // namespace platform
