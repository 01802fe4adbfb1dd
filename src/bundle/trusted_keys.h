#pragma once
// The trusted keys: every "*.pub" file in the trusted-key folders. A key file that cannot
// be read still counts as installed, so that a damaged key turns the check on rather than
// off.

#include <string>
#include <vector>

#include "bundle/minisign.h"

namespace bundle {

struct TrustedKey {
    PublicKey key;
    std::string file;  // where it was found
};

struct TrustedKeys {
    std::vector<TrustedKey> keys;
    std::vector<std::string> unreadable;  // "*.pub" files that hold no key

    // Whether bundles must be signed: some key file is installed.
    bool Installed() const { return !keys.empty() || !unreadable.empty(); }
    const TrustedKey* Find(const KeyId& id) const;
};

TrustedKeys LoadTrustedKeys(const std::vector<std::string>& folders);

// The keys of the system's folders (platform/trust_folders.h).
TrustedKeys LoadInstalledKeys();

}  // namespace bundle
