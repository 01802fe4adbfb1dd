#pragma once
// The one check of a firmware bundle that both programs and every command make: is the
// manifest signed by a trusted key, and do the files match it?

#include <optional>
#include <string>

#include "bundle/manifest.h"
#include "bundle/trusted_keys.h"

namespace bundle {

enum class BundleState {
    Verified,  // signed by a trusted key, and every file matches
    Unsigned,  // no trusted key is installed: nothing was checked
    Refused,   // trusted keys are installed and the bundle failed them
};

enum class BundleFault {
    None,
    NoManifest,
    NoSignature,
    ManifestUnreadable,   // too large, unreadable, or not a manifest
    SignatureUnreadable,  // too large, unreadable, or not minisign's form
    UntrustedKey,         // keyId names the signing key
    BadSignature,         // the manifest or the trusted comment was changed
    FileMissing,          // file names it
    FileDiffers,          // file's size or SHA-256 is not the manifest's
    VersionDiffers,       // the program file's version is not the manifest's
    TargetDiffers,        // nor its target identifier
    NoCrypto,             // libgcrypt could not be set up
};

struct BundleCheck {
    BundleState state = BundleState::Unsigned;
    BundleFault fault = BundleFault::None;
    std::string file;            // the file of a FileMissing, FileDiffers, ...Differs fault
    std::string manifestSha256;  // of the manifest's bytes; "" without one
    std::string name;            // the manifest's
    std::string keyId;           // the signature's, as minisign prints it
    std::string keyFile;         // the trusted key file that verified it
    std::string trustedComment;  // once verified
};

// Checks the bundle in folder against the keys; with none installed the bundle is
// Unsigned, and the manifest's name and hash are told when it has one.
BundleCheck CheckBundle(const std::string& folder, const TrustedKeys& keys);

// The record's word for a state and a fault ("verified", "untrusted_key").
const char* StateName(BundleState state);
const char* FaultName(BundleFault fault);

// The path of name in folder.
std::string BundlePath(const std::string& folder, const char* name);

// The program file's version (SV record 0) and target identifier (SI record), as the
// update reads them; none when the file cannot be opened.
struct ProgramIdentity {
    uint32_t version = 0xFFFFFFFF;
    uint32_t target = 0;
};
std::optional<ProgramIdentity> ReadProgramIdentity(const std::string& path);

// Size and SHA-256 of a file, read once in pieces; none when it cannot be read.
std::optional<ManifestFile> HashFile(const std::string& path);

}  // namespace bundle
