// The parsers of a firmware bundle's outside files: a minisign public key, a signature,
// and the manifest. Every input is tried as each of them; what parses as both a key and a
// signature is also verified, so that the library sees what the parsers hand it.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bundle/manifest.h"
#include "bundle/minisign.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto key = bundle::ParsePublicKey(text);
    const auto signature = bundle::ParseSignature(text);
    const auto manifest = bundle::ParseManifest(text);
    if (manifest) {
        // What is read back must read the same when written again.
        const auto again = bundle::ParseManifest(bundle::ManifestText(*manifest));
        if (!again || again->name != manifest->name ||
            again->files[0].size != manifest->files[0].size) {
            __builtin_trap();
        }
    }
    if (signature) {
        bundle::PublicKey someKey = key.value_or(bundle::PublicKey{});
        someKey.id = signature->keyId;
        bundle::VerifySignature(someKey, *signature, text);
        bundle::KeyIdText(signature->keyId);
    }
    return 0;
}
