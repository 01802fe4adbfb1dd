#include "platform/process.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

namespace platform {
namespace {

std::mutex gOverrideMutex;
bool gHasOverride = false;
std::string gOverride;

struct LanguageCode {
    const char* code;
    uint32_t primary;
};

// ISO 639-1 codes and their Windows primary language identifiers.
constexpr LanguageCode kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18},
    {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E},
    {"tr", 0x1F}, {"uk", 0x22}, {"sl", 0x24},
};

}  // namespace

std::string SignalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return name != nullptr ? std::string("SIG") + name : std::string();
}

std::string ProgramPath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return {};
    }
    return std::string(buf, static_cast<size_t>(n));
}

char PathSeparator() {
    return '/';
}

std::string UserName() {
    {
        std::lock_guard<std::mutex> lock(gOverrideMutex);
        if (gHasOverride) {
            return gOverride;
        }
    }
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return {};
}

void SetUserNameOverride(const std::string* name) {
    std::lock_guard<std::mutex> lock(gOverrideMutex);
    gHasOverride = name != nullptr;
    gOverride = name != nullptr ? *name : std::string();
}

std::string HostName() {
    char buf[256] = "";
    if (::gethostname(buf, sizeof buf - 1) != 0) {
        return {};
    }
    return buf;
}

std::string UserDataDirectory() {
    const char* data = std::getenv("XDG_DATA_HOME");
    // A relative value is invalid and is to be ignored.
    if (data != nullptr && data[0] == '/') {
        return data;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return {};
    }
    return std::string(home) + "/.local/share";
}

uint32_t UserDefaultLcid() {
    std::string locale;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    constexpr uint32_t kEnglishUs = 0x0409;
    if (locale.size() < 2) {
        return kEnglishUs;
    }
    std::string language;
    for (char c : locale) {
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            break;
        }
        language += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string region;
    const size_t underscore = locale.find('_');
    if (underscore != std::string::npos) {
        region = locale.substr(underscore + 1, 2);
    }
    for (const LanguageCode& entry : kLanguages) {
        if (language == entry.code) {
            uint32_t sub = 1;
            if (entry.primary == 0x07) {
                sub = region == "CH" ? 2 : region == "AT" ? 3 : region == "LU" ? 4 : 1;
            }
            return sub << 10 | entry.primary;
        }
    }
    return kEnglishUs;
}

LocalDate Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return LocalDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool SetEnvironment(const char* name, const std::string& value) {
    if (value.empty()) {
        return ::unsetenv(name) == 0;
    }
    return ::setenv(name, value.c_str(), 1) == 0;
}

}  // namespace platform
