#include "bundle/crypto.h"

#include <gcrypt.h>

#include <mutex>

namespace bundle {

// Outside the anonymous namespace: Sha256::State holds one.
struct MdClose {
    void operator()(gcry_md_hd_t md) const { gcry_md_close(md); }
};
using MdHandle = std::unique_ptr<std::remove_pointer_t<gcry_md_hd_t>, MdClose>;

namespace {

// BLAKE2b arrived in 1.7; older libraries cannot check minisign's default signatures.
constexpr const char* kLeastGcrypt = "1.7.0";

bool SetUp() {
    // Another part of the process may have set the library up already; its choices stand.
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) != 0) {
        return true;
    }
    if (gcry_check_version(kLeastGcrypt) == nullptr) {
        return false;
    }
    // Only public keys and public data pass through here: no secure memory is needed.
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
}

struct SexpFree {
    void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
using Sexp = std::unique_ptr<std::remove_pointer_t<gcry_sexp_t>, SexpFree>;

template <size_t N>
std::array<uint8_t, N> HashOf(int algorithm, std::string_view bytes) {
    std::array<uint8_t, N> digest{};
    if (CryptoReady() && gcry_md_get_algo_dlen(algorithm) == N) {
        gcry_md_hash_buffer(algorithm, digest.data(), bytes.data(), bytes.size());
    }
    return digest;
}

// Whether the little-endian coordinate's highest 64 bits (the sign bit left out) are all
// zero. libgcrypt 1.10 aborts the whole process ("mulm_25519: different sizes") on a public
// key like that; no key made by a generator has one (a chance of 2^-63), so such a key or
// point is refused before the library sees it.
bool ShortCoordinate(const uint8_t* point) {
    for (size_t i = 24; i < 31; ++i) {
        if (point[i] != 0) {
            return false;
        }
    }
    return (point[31] & 0x7F) == 0;
}

}  // namespace

bool CryptoReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = SetUp(); });
    return ready;
}

struct Sha256::State {
    MdHandle md;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    gcry_md_hd_t md = nullptr;
    if (CryptoReady() && gcry_md_open(&md, GCRY_MD_SHA256, 0) == 0) {
        state_->md.reset(md);
    }
}

Sha256::~Sha256() = default;

void Sha256::Add(std::string_view bytes) {
    if (state_->md) {
        gcry_md_write(state_->md.get(), bytes.data(), bytes.size());
    }
}

Sha256Digest Sha256::Digest() {
    Sha256Digest digest{};
    if (state_->md) {
        const unsigned char* value = gcry_md_read(state_->md.get(), GCRY_MD_SHA256);
        if (value != nullptr) {
            std::copy(value, value + digest.size(), digest.begin());
        }
    }
    return digest;
}

Sha256Digest Sha256Of(std::string_view bytes) {
    return HashOf<32>(GCRY_MD_SHA256, bytes);
}

Sha1Digest Sha1Of(std::string_view bytes) {
    return HashOf<20>(GCRY_MD_SHA1, bytes);
}

Blake2bDigest Blake2b512Of(std::string_view bytes) {
    return HashOf<64>(GCRY_MD_BLAKE2B_512, bytes);
}

bool Ed25519Verify(const Ed25519Key& key, const Ed25519Signature& signature,
                   std::span<const uint8_t> message) {
    if (!CryptoReady() || message.size() > 0x7FFFFFFF || ShortCoordinate(key.data()) ||
        ShortCoordinate(signature.data())) {
        return false;
    }
    gcry_sexp_t raw = nullptr;
    if (gcry_sexp_build(&raw, nullptr, "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                        static_cast<int>(key.size()), key.data()) != 0) {
        return false;
    }
    const Sexp publicKey(raw);
    if (gcry_sexp_build(&raw, nullptr, "(sig-val (eddsa (r %b) (s %b)))", 32, signature.data(), 32,
                        signature.data() + 32) != 0) {
        return false;
    }
    const Sexp signed_(raw);
    if (gcry_sexp_build(&raw, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                        static_cast<int>(message.size()), message.data()) != 0) {
        return false;
    }
    const Sexp data(raw);
    return gcry_pk_verify(signed_.get(), data.get(), publicKey.get()) == 0;
}

std::string HexText(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

}  // namespace bundle
