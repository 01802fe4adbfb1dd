#pragma once
// Windows profile (INI) files: GetPrivateProfileIntA and WritePrivateProfileStringA with
// their results. Writes replace the file atomically (a temporary file renamed over it),
// so a crash leaves the old file or the new one, never half of either.

#include <cstdint>

namespace platform {

// The value of the key as an integer: a missing file, section or key (or an empty value)
// gives defaultValue; otherwise the leading number of the value, decimal with an optional
// sign ("-123" gives -123), or hexadecimal after "0x"; a value without a leading number
// gives 0. The result wraps to 32 bits, as the Windows UINT result does.
int32_t ProfileGetInt(const char* section, const char* key, int32_t defaultValue, const char* path);

// Sets the key to value, creating the file and the section when missing; a null value
// removes the key. True on success.
bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path);

}  // namespace platform
