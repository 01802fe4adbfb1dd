#pragma once
// The manifest TQ8-BUNDLE.INI: what a bundle's three files must be (size and SHA-256 of
// each), the program file's version and target identifier, and the bundle's name. An INI
// file like TQ8-CRC.INI beside it; the signature covers its bytes exactly.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bundle/crypto.h"

namespace bundle {

inline constexpr const char* kManifestName = "TQ8-BUNDLE.INI";
inline constexpr const char* kSignatureName = "TQ8-BUNDLE.INI.minisig";
// Larger manifests are refused unread: a real one is a few hundred bytes.
inline constexpr size_t kMaxManifestSize = 16384;

// The files a manifest lists, in its order.
inline constexpr std::array<const char*, 3> kBundleFiles = {"TQ8-PROG.MOT", "TQ8-TEXT.MOT",
                                                            "TQ8-CRC.INI"};

struct ManifestFile {
    uint64_t size = 0;
    Sha256Digest sha256{};
};

struct Manifest {
    std::string name;
    uint32_t version = 0xFFFFFFFF;  // the program file's SV record with index 0
    uint32_t target = 0;            // its SI record
    std::array<ManifestFile, kBundleFiles.size()> files{};
};

// The manifest's text, CRLF line ends.
std::string ManifestText(const Manifest& manifest);

// None unless every entry is present and well formed.
std::optional<Manifest> ParseManifest(std::string_view text);

// Whether a name can stand in the manifest: one line of printable text, not too long.
bool ValidBundleName(std::string_view name);

}  // namespace bundle
