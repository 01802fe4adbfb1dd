#include "bundle/minisign.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bundle {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr size_t kKeyBytes = 2 + 8 + 32;
constexpr size_t kSignatureBytes = 2 + 8 + 64;

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

// The text's lines without their ends (LF or CRLF); none when a line holds another
// control character, which no file of minisign's has.
std::optional<std::vector<std::string_view>> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (std::any_of(line.begin(), line.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; })) {
            return std::nullopt;
        }
        lines.push_back(line);
    }
    return lines;
}

std::optional<std::string_view> After(std::string_view line, std::string_view prefix) {
    if (line.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    return line.substr(prefix.size());
}

template <size_t N>
std::array<uint8_t, N> Take(const std::string& bytes, size_t from) {
    std::array<uint8_t, N> out{};
    std::copy_n(reinterpret_cast<const uint8_t*>(bytes.data()) + from, N, out.begin());
    return out;
}

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t padding = last ? (text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0) : 0;
        uint32_t group = 0;
        for (size_t j = 0; j < 4; ++j) {
            const int value = j >= 4 - padding ? 0 : Base64Value(text[i + j]);
            if (value < 0) {
                return std::nullopt;
            }
            group = group << 6 | static_cast<uint32_t>(value);
        }
        // Bits below the last whole byte must be zero, so that one text means one value.
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) {
            return std::nullopt;
        }
        out += static_cast<char>(group >> 16);
        if (padding < 2) {
            out += static_cast<char>(group >> 8 & 0xFF);
        }
        if (padding < 1) {
            out += static_cast<char>(group & 0xFF);
        }
    }
    return out;
}

std::optional<PublicKey> ParsePublicKey(std::string_view text) {
    if (text.size() > kMaxKeyFileSize) {
        return std::nullopt;
    }
    const auto lines = Lines(text);
    if (!lines || lines->size() != 2) {
        return std::nullopt;
    }
    const auto comment = After((*lines)[0], kUntrustedPrefix);
    const auto bytes = DecodeBase64((*lines)[1]);
    if (!comment || !bytes || bytes->size() != kKeyBytes || bytes->compare(0, 2, "Ed") != 0) {
        return std::nullopt;
    }
    PublicKey key;
    key.comment = std::string(*comment);
    key.id = Take<8>(*bytes, 2);
    key.key = Take<32>(*bytes, 10);
    return key;
}

std::optional<Signature> ParseSignature(std::string_view text) {
    if (text.size() > kMaxSignatureFileSize) {
        return std::nullopt;
    }
    const auto lines = Lines(text);
    if (!lines || lines->size() != 4) {
        return std::nullopt;
    }
    const auto untrusted = After((*lines)[0], kUntrustedPrefix);
    const auto bytes = DecodeBase64((*lines)[1]);
    const auto trusted = After((*lines)[2], kTrustedPrefix);
    const auto global = DecodeBase64((*lines)[3]);
    if (!untrusted || !bytes || bytes->size() != kSignatureBytes || !trusted || !global ||
        global->size() != 64) {
        return std::nullopt;
    }
    Signature signature;
    if (bytes->compare(0, 2, "Ed") == 0) {
        signature.form = SignatureForm::Legacy;
    } else if (bytes->compare(0, 2, "ED") == 0) {
        signature.form = SignatureForm::Prehashed;
    } else {
        return std::nullopt;
    }
    signature.keyId = Take<8>(*bytes, 2);
    signature.signature = Take<64>(*bytes, 10);
    signature.untrustedComment = std::string(*untrusted);
    signature.trustedComment = std::string(*trusted);
    signature.globalSignature = Take<64>(*global, 0);
    return signature;
}

std::string KeyIdText(const KeyId& id) {
    uint64_t number = 0;
    for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
        number = number << 8 | *byte;
    }
    // minisign prints the number without leading zeros; an operator compares the two.
    char text[20];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(number));
    return text;
}

bool VerifySignature(const PublicKey& key, const Signature& signature, std::string_view message) {
    bool signedMessage = false;
    if (signature.form == SignatureForm::Legacy) {
        signedMessage = Ed25519Verify(key.key, signature.signature, Bytes(message));
    } else {
        const Blake2bDigest digest = Blake2b512Of(message);
        signedMessage = Ed25519Verify(key.key, signature.signature, digest);
    }
    if (!signedMessage) {
        return false;
    }
    // The trusted comment is shown and recorded as the signer's word: it must be signed too.
    std::string global(reinterpret_cast<const char*>(signature.signature.data()),
                       signature.signature.size());
    global += signature.trustedComment;
    return Ed25519Verify(key.key, signature.globalSignature, Bytes(global));
}

}  // namespace bundle
