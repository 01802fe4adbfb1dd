#include "platform/profile.h"

#include "platform/ini_file.h"
#include "platform/profile_number.h"

namespace platform {

int32_t ProfileGetInt(const char* section, const char* key, int32_t defaultValue,
                      const char* path) {
    IniFile ini;
    if (section == nullptr || key == nullptr || !ini.Load(path)) {
        return defaultValue;
    }
    const auto value = ini.Get(section, key);
    if (!value || value->empty()) {
        return defaultValue;
    }
    return ParseProfileNumber(*value);
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
    IniFile ini;
    if (section == nullptr || key == nullptr || !ini.Load(path)) {
        return false;
    }
    if (value == nullptr) {
        if (!ini.Remove(section, key)) {
            return true;
        }
    } else {
        ini.Set(section, key, value);
    }
    return ini.Save(path);
}

}  // namespace platform
