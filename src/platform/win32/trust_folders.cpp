#include "platform/trust_folders.h"

#include "platform/process.h"

namespace platform {

std::vector<std::string> TrustedKeyFolders() {
    std::vector<std::string> folders;
    const std::string program = ProgramPath();
    const size_t cut = program.find_last_of("\\/");
    if (cut != std::string::npos) {
        folders.push_back(program.substr(0, cut) + "\\trusted-keys");
    }
    const std::string data = UserDataDirectory();
    if (!data.empty()) {
        folders.push_back(data + "\\Ostrelwerk\\trusted-keys");
    }
    return folders;
}

}  // namespace platform
