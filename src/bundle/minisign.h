#pragma once
// minisign's public-key and signature files, read strictly: a file that is not exactly
// what minisign writes is refused, never guessed at. The text comes from outside (e-mail,
// USB sticks) and may be anything; the parsers bound every length.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bundle/crypto.h"

namespace bundle {

// Larger files are refused unread: minisign's own are a few hundred bytes.
inline constexpr size_t kMaxKeyFileSize = 4096;
inline constexpr size_t kMaxSignatureFileSize = 8192;

using KeyId = std::array<uint8_t, 8>;

struct PublicKey {
    KeyId id{};
    Ed25519Key key{};
    std::string comment;  // the untrusted comment
};

enum class SignatureForm {
    Legacy,     // "Ed": the signature covers the file's bytes
    Prehashed,  // "ED": the signature covers the file's BLAKE2b-512
};

struct Signature {
    SignatureForm form = SignatureForm::Prehashed;
    KeyId keyId{};
    Ed25519Signature signature{};
    std::string untrustedComment;
    std::string trustedComment;
    Ed25519Signature globalSignature{};  // over signature and trusted comment
};

// Strict base64 (RFC 4648, with padding): anything else, padding bits included, is none.
std::optional<std::string> DecodeBase64(std::string_view text);

std::optional<PublicKey> ParsePublicKey(std::string_view text);
std::optional<Signature> ParseSignature(std::string_view text);

// A key id as minisign prints it: the little-endian number in upper-case hex, without
// leading zeros.
std::string KeyIdText(const KeyId& id);

// Whether signature is key's signature of message, its trusted comment included. The
// key ids are the caller's to match.
bool VerifySignature(const PublicKey& key, const Signature& signature, std::string_view message);

}  // namespace bundle
