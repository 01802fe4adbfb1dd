#include "bundle/bundle_check.h"

#include "bundle/small_file.h"
#include "image/file_obj.h"
#include "image/srecord.h"
#include "platform/file_io.h"
#include "platform/process.h"
#include "support/trace.h"

namespace bundle {
namespace {

BundleCheck& Refuse(BundleCheck& check, BundleFault fault, const std::string& file = {}) {
    check.state = BundleState::Refused;
    check.fault = fault;
    check.file = file;
    TraceFile(2, "{cr}CheckBundle: refused (%s%s%s)", FaultName(fault), file.empty() ? "" : " ",
              file.c_str());
    return check;
}

BundleFault ReadFault(SmallFile result, BundleFault missing, BundleFault unreadable) {
    return result == SmallFile::Missing ? missing : unreadable;
}

// The files against the manifest, then the program file's own words against it.
BundleCheck& CheckFiles(const std::string& folder, const Manifest& manifest, BundleCheck& check) {
    for (size_t i = 0; i < kBundleFiles.size(); ++i) {
        const std::optional<ManifestFile> found = HashFile(BundlePath(folder, kBundleFiles[i]));
        if (!found) {
            return Refuse(check, BundleFault::FileMissing, kBundleFiles[i]);
        }
        if (found->size != manifest.files[i].size || found->sha256 != manifest.files[i].sha256) {
            return Refuse(check, BundleFault::FileDiffers, kBundleFiles[i]);
        }
    }
    const auto identity = ReadProgramIdentity(BundlePath(folder, kBundleFiles[0]));
    if (!identity) {
        return Refuse(check, BundleFault::FileMissing, kBundleFiles[0]);
    }
    if (identity->version != manifest.version) {
        return Refuse(check, BundleFault::VersionDiffers, kBundleFiles[0]);
    }
    if (identity->target != manifest.target) {
        return Refuse(check, BundleFault::TargetDiffers, kBundleFiles[0]);
    }
    return check;
}

}  // namespace

std::string BundlePath(const std::string& folder, const char* name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != platform::PathSeparator()) {
        path += platform::PathSeparator();
    }
    return path + name;
}

std::optional<ManifestFile> HashFile(const std::string& path) {
    Sha256 hash;
    uint64_t size = 0;
    const platform::ReadResult result =
        platform::ReadFileInPieces(path, [&](std::string_view piece) {
            hash.Add(piece);
            size += piece.size();
            return true;
        });
    if (result != platform::ReadResult::Ok) {
        return std::nullopt;
    }
    return ManifestFile{size, hash.Digest()};
}

std::optional<ProgramIdentity> ReadProgramIdentity(const std::string& path) {
    FileObj file;
    if (file.fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                   platform::kOpenExisting, platform::kFileAttributeNormal, 0) == 0) {
        return std::nullopt;
    }
    ProgramIdentity identity;
    identity.version = SRecordGetVersionIdentifier(file, 0);
    identity.target = SRecordGetTargetIdentifier(file);
    return identity;
}

BundleCheck CheckBundle(const std::string& folder, const TrustedKeys& keys) {
    BundleCheck check;
    std::string manifestText;
    const SmallFile manifestRead =
        ReadSmallFile(BundlePath(folder, kManifestName), kMaxManifestSize, manifestText);
    std::optional<Manifest> manifest;
    if (manifestRead == SmallFile::Ok) {
        check.manifestSha256 = HexText(Sha256Of(manifestText));
        manifest = ParseManifest(manifestText);
        if (manifest) {
            check.name = manifest->name;
        }
    }
    if (!keys.Installed()) {
        check.state = BundleState::Unsigned;
        return check;
    }
    if (!CryptoReady()) {
        return Refuse(check, BundleFault::NoCrypto);
    }
    if (manifestRead != SmallFile::Ok) {
        return Refuse(
            check,
            ReadFault(manifestRead, BundleFault::NoManifest, BundleFault::ManifestUnreadable),
            kManifestName);
    }
    std::string signatureText;
    const SmallFile signatureRead =
        ReadSmallFile(BundlePath(folder, kSignatureName), kMaxSignatureFileSize, signatureText);
    if (signatureRead != SmallFile::Ok) {
        return Refuse(
            check,
            ReadFault(signatureRead, BundleFault::NoSignature, BundleFault::SignatureUnreadable),
            kSignatureName);
    }
    const std::optional<Signature> signature = ParseSignature(signatureText);
    if (!signature) {
        return Refuse(check, BundleFault::SignatureUnreadable, kSignatureName);
    }
    check.keyId = KeyIdText(signature->keyId);
    const TrustedKey* key = keys.Find(signature->keyId);
    if (key == nullptr) {
        return Refuse(check, BundleFault::UntrustedKey, kSignatureName);
    }
    if (!VerifySignature(key->key, *signature, manifestText)) {
        return Refuse(check, BundleFault::BadSignature, kManifestName);
    }
    check.keyFile = key->file;
    check.trustedComment = signature->trustedComment;
    // Signed, yet not a manifest this program can read: a newer release's, say.
    if (!manifest) {
        return Refuse(check, BundleFault::ManifestUnreadable, kManifestName);
    }
    check.state = BundleState::Verified;
    CheckFiles(folder, *manifest, check);
    if (check.state == BundleState::Verified) {
        TraceFile(4, "{cg}*CheckBundle: verified, key %s", check.keyId.c_str());
    }
    return check;
}

const char* StateName(BundleState state) {
    switch (state) {
        case BundleState::Verified:
            return "verified";
        case BundleState::Unsigned:
            return "unsigned";
        case BundleState::Refused:
            return "refused";
    }
    return "refused";
}

const char* FaultName(BundleFault fault) {
    switch (fault) {
        case BundleFault::None:
            return "none";
        case BundleFault::NoManifest:
            return "no_manifest";
        case BundleFault::NoSignature:
            return "no_signature";
        case BundleFault::ManifestUnreadable:
            return "manifest_unreadable";
        case BundleFault::SignatureUnreadable:
            return "signature_unreadable";
        case BundleFault::UntrustedKey:
            return "untrusted_key";
        case BundleFault::BadSignature:
            return "bad_signature";
        case BundleFault::FileMissing:
            return "file_missing";
        case BundleFault::FileDiffers:
            return "file_differs";
        case BundleFault::VersionDiffers:
            return "version_differs";
        case BundleFault::TargetDiffers:
            return "target_differs";
        case BundleFault::NoCrypto:
            return "no_crypto";
    }
    return "unknown";
}

}  // namespace bundle
