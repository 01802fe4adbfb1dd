#include "bundle/trusted_keys.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "bundle/small_file.h"
#include "platform/trust_folders.h"
#include "support/trace.h"

namespace bundle {

const TrustedKey* TrustedKeys::Find(const KeyId& id) const {
    const auto found = std::find_if(keys.begin(), keys.end(), [&id](const TrustedKey& trusted) {
        return trusted.key.id == id;
    });
    return found == keys.end() ? nullptr : &*found;
}

TrustedKeys LoadTrustedKeys(const std::vector<std::string>& folders) {
    namespace fs = std::filesystem;
    TrustedKeys trusted;
    for (const std::string& folder : folders) {
        std::error_code error;
        std::vector<fs::path> files;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().extension() == ".pub") {
                files.push_back(it->path());
            }
        }
        // The order of a folder listing is the file system's; the keys' is the names'.
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::string text;
            std::optional<PublicKey> key;
            if (ReadSmallFile(file.string(), kMaxKeyFileSize, text) == SmallFile::Ok) {
                key = ParsePublicKey(text);
            }
            if (key) {
                trusted.keys.push_back({*key, file.string()});
            } else {
                TraceFile(2, "{cr}LoadTrustedKeys: %s holds no minisign public key",
                          file.string().c_str());
                trusted.unreadable.push_back(file.string());
            }
        }
    }
    return trusted;
}

TrustedKeys LoadInstalledKeys() {
    return LoadTrustedKeys(platform::TrustedKeyFolders());
}

}  // namespace bundle
