#pragma once
// The current user's settings: the registry on Win32; an INI file with typed values
// ($XDG_CONFIG_HOME/Ostrelwerk/TQ8Flash.ini, default ~/.config) on POSIX, whose sections
// are the key paths. Every call opens, does its one job and closes again.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

using SettingsRoot = uintptr_t;
inline constexpr SettingsRoot kCurrentUser = 0x80000001;  // HKEY_CURRENT_USER

enum class ValueKind { String, Dword, Binary };

struct SettingsValue {
    ValueKind kind;
    std::vector<uint8_t> data;  // the raw bytes; strings include their terminator
};

// Whether the key exists and can be opened for querying.
bool SettingsOpenKey(SettingsRoot root, const std::string& key);

// The value's raw bytes, or none when the key or value is missing or unreadable.
std::optional<SettingsValue> SettingsQuery(SettingsRoot root, const std::string& key,
                                           const std::string& name);

// Stores a value, creating the key when it is missing. True on success.
bool SettingsWrite(SettingsRoot root, const std::string& key, const std::string& name,
                   const SettingsValue& value);

// POSIX: path of the settings file ("" on Win32, where the registry holds them).
std::string SettingsFilePath();

}  // namespace platform
