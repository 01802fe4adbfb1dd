// minisign's own texts (made by minisign 0.11 with -G and -S), read back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bundle/manifest.h"
#include "bundle/minisign.h"
#include "bundle/trusted_keys.h"

namespace {

// A key whose id has a leading zero, which minisign leaves out.
constexpr const char* kShortIdKey =
    "untrusted comment: minisign public key EBDE47A076FB74E\n"
    "RWROt28HeuS9Dj2TXgWYQblvuEdZYnbo6pAqpbKX+n5LViVUkrEM9CBN\n";

constexpr const char* kPrehashed =
    "untrusted comment: signature from minisign secret key\r\n"
    "RUSbEq3a+WwK/hXAYZOYX1PYvaPuOuFFkrs9Jhw0Z2ZhAZoI45fREyA3jmnzqVZ9LdF2mSGieqMXbfTSNLLaxs9aZMdAI5"
    "viPgc=\r\n"
    "trusted comment: release 1.03.7\r\n"
    "J/McUrBeeFAy0MW3aNd6LlHHwE3hLrlAB5jI9ardQRmGq1U0vsYGpDAy+HCgZoRf6BurO3FdGQnOr0NVo9RSCQ==\r\n";

TEST(BundleParsers, Base64IsReadStrictly) {
    EXPECT_EQ(bundle::DecodeBase64("QQ=="), "A");
    EXPECT_EQ(bundle::DecodeBase64("QUI="), "AB");
    // Bits below the last byte set: another text for the same bytes.
    EXPECT_FALSE(bundle::DecodeBase64("QR=="));
    EXPECT_FALSE(bundle::DecodeBase64("QQ="));
    EXPECT_FALSE(bundle::DecodeBase64("Q=Q="));
    EXPECT_FALSE(bundle::DecodeBase64("QQ\n="));
}

TEST(BundleParsers, KeyIdsReadAsMinisignPrintsThem) {
    const auto key = bundle::ParsePublicKey(kShortIdKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(bundle::KeyIdText(key->id), "EBDE47A076FB74E");
    const auto signature = bundle::ParseSignature(kPrehashed);
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature->form, bundle::SignatureForm::Prehashed);
    EXPECT_EQ(bundle::KeyIdText(signature->keyId), "FE0A6CF9DAAD129B");
    EXPECT_EQ(signature->trustedComment, "release 1.03.7");
    EXPECT_FALSE(bundle::ParseSignature(std::string(kPrehashed) + "\n"));
    EXPECT_FALSE(bundle::ParsePublicKey(std::string(kShortIdKey).substr(1)));
}

TEST(BundleParsers, ManifestReadsBackWhatIsWrittenAndNothingLess) {
    bundle::Manifest manifest;
    manifest.name = "TQ8 1.03.7 = final";
    manifest.version = 0x01030007;
    manifest.target = 0x708;
    manifest.files[2].size = 58;
    manifest.files[2].sha256[31] = 0xAB;
    const std::string text = bundle::ManifestText(manifest);
    const auto read = bundle::ParseManifest(text);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->name, manifest.name);
    EXPECT_EQ(read->files[2].sha256, manifest.files[2].sha256);
    EXPECT_EQ(read->target, 0x708u);
    std::string cut = text;
    cut.erase(cut.rfind("ab"), 2);
    EXPECT_FALSE(bundle::ParseManifest(cut));
}

// A damaged key file turns the check on: it must never leave bundles unchecked.
TEST(TrustedKeys, AnUnreadableKeyFileCountsAsInstalled) {
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("tq8-keys-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "README.txt") << "not a key\n";
    EXPECT_FALSE(bundle::LoadTrustedKeys({folder.string()}).Installed());
    std::ofstream(folder / "damaged.pub") << "untrusted comment: cut\n";
    std::ofstream(folder / "good.pub") << kShortIdKey;
    const bundle::TrustedKeys keys = bundle::LoadTrustedKeys({folder.string()});
    EXPECT_TRUE(keys.Installed());
    EXPECT_EQ(keys.keys.size(), 1u);
    EXPECT_EQ(keys.unreadable.size(), 1u);
    std::filesystem::remove_all(folder);
}

}  // namespace
