#pragma once
// The cryptography the bundle check needs, all of it libgcrypt's: SHA-256, BLAKE2b-512 and
// Ed25519 verification. The library is set up once per process, on first use, from any
// thread.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace bundle {

using Sha1Digest = std::array<uint8_t, 20>;
using Sha256Digest = std::array<uint8_t, 32>;
using Blake2bDigest = std::array<uint8_t, 64>;
using Ed25519Key = std::array<uint8_t, 32>;
using Ed25519Signature = std::array<uint8_t, 64>;

// Whether libgcrypt is usable (new enough and set up); every check below fails without it.
bool CryptoReady();

// A SHA-256 over bytes given in pieces.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(std::string_view bytes);
    // The digest of everything added; all zero when the library could not start one.
    Sha256Digest Digest();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

Sha256Digest Sha256Of(std::string_view bytes);
// For names derived from bytes (UUID version 5), never for a check.
Sha1Digest Sha1Of(std::string_view bytes);
Blake2bDigest Blake2b512Of(std::string_view bytes);

// Whether signature is key's Ed25519 signature (RFC 8032, pure) of message.
bool Ed25519Verify(const Ed25519Key& key, const Ed25519Signature& signature,
                   std::span<const uint8_t> message);

// Lower-case hex of bytes.
std::string HexText(std::span<const uint8_t> bytes);

}  // namespace bundle
