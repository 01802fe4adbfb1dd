#include "bundle/manifest.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/ini_file.h"

namespace bundle {
namespace {

constexpr const char* kBundleSection = "Bundle";
constexpr size_t kMaxNameSize = 200;

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::optional<uint64_t> Number(const std::optional<std::string>& text, int base) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    std::string_view digits = *text;
    if (base == 16) {
        if (digits.substr(0, 2) != "0x" && digits.substr(0, 2) != "0X") {
            return std::nullopt;
        }
        digits.remove_prefix(2);
    }
    uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error != std::errc{} || end != digits.data() + digits.size() || digits.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<Sha256Digest> Digest(const std::optional<std::string>& text) {
    if (!text || text->size() != 64) {
        return std::nullopt;
    }
    Sha256Digest digest{};
    for (size_t i = 0; i < digest.size(); ++i) {
        const char* pair = text->data() + 2 * i;
        if (std::from_chars(pair, pair + 2, digest[i], 16).ptr != pair + 2) {
            return std::nullopt;
        }
    }
    return digest;
}

}  // namespace

bool ValidBundleName(std::string_view name) {
    return name.size() <= kMaxNameSize && std::none_of(name.begin(), name.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
           });
}

std::string ManifestText(const Manifest& manifest) {
    std::string text =
        "; The firmware bundle's contents. Sign this file with minisign; any change to it or to\r\n"
        "; the files it lists makes the signature fail.\r\n";
    // Appended piece by piece: GCC 12 warns (-Wrestrict) of its own "literal" + string.
    auto line = [&text](std::string_view key, std::string_view value) {
        text.append(key).append("=").append(value).append("\r\n");
    };
    auto section = [&text](std::string_view name) {
        text.append("[").append(name).append("]\r\n");
    };
    section(kBundleSection);
    line("Name", manifest.name);
    line("Version", Hex32(manifest.version));
    line("Target", Hex32(manifest.target));
    for (size_t i = 0; i < kBundleFiles.size(); ++i) {
        section(kBundleFiles[i]);
        line("Size", std::to_string(manifest.files[i].size));
        line("SHA256", HexText(manifest.files[i].sha256));
    }
    return text;
}

std::optional<Manifest> ParseManifest(std::string_view text) {
    if (text.size() > kMaxManifestSize) {
        return std::nullopt;
    }
    platform::IniFile ini;
    ini.Parse(std::string(text));
    Manifest manifest;
    const auto name = ini.Get(kBundleSection, "Name");
    const auto version = Number(ini.Get(kBundleSection, "Version"), 16);
    const auto target = Number(ini.Get(kBundleSection, "Target"), 16);
    if (!name || !ValidBundleName(*name) || !version || *version > 0xFFFFFFFF || !target ||
        *target > 0xFFFFFFFF) {
        return std::nullopt;
    }
    manifest.name = *name;
    manifest.version = static_cast<uint32_t>(*version);
    manifest.target = static_cast<uint32_t>(*target);
    for (size_t i = 0; i < kBundleFiles.size(); ++i) {
        const auto size = Number(ini.Get(kBundleFiles[i], "Size"), 10);
        const auto digest = Digest(ini.Get(kBundleFiles[i], "SHA256"));
        if (!size || !digest) {
            return std::nullopt;
        }
        manifest.files[i] = {*size, *digest};
    }
    return manifest;
}

}  // namespace bundle
