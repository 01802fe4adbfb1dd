#include "platform/trust_folders.h"

#include "platform/process.h"
#include "platform/settings_store.h"

namespace platform {

std::vector<std::string> TrustedKeyFolders() {
    std::vector<std::string> folders{"/etc/tq8flash/trusted-keys"};
    const std::string settings = SettingsFilePath();
    const size_t cut = settings.find_last_of('/');
    if (cut != std::string::npos) {
        folders.push_back(settings.substr(0, cut) + "/trusted-keys");
    }
    return folders;
}

}  // namespace platform
