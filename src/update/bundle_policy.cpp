#include "update/bundle_policy.h"

#include "image/srecord.h"
#include "support/settings.h"
#include "update/machine_variables.h"

namespace {

using bundle::BundleFault;

}  // namespace

std::string BundleFaultText(const bundle::BundleCheck& check, const std::string& folder) {
    const char* file = check.file.c_str();
    const char* key = check.keyId.c_str();
    switch (check.fault) {
        case BundleFault::NoManifest:
            return FormatText(LoadText(kTextBundleNoManifest), folder.c_str());
        case BundleFault::NoSignature:
            return FormatText(LoadText(kTextBundleNoSignature), folder.c_str());
        case BundleFault::ManifestUnreadable:
        case BundleFault::SignatureUnreadable:
            return FormatText(LoadText(kTextBundleUnreadable), file);
        case BundleFault::UntrustedKey:
            return FormatText(LoadText(kTextBundleUntrustedKey), key);
        case BundleFault::BadSignature:
            return FormatText(LoadText(kTextBundleBadSignature), key);
        case BundleFault::FileMissing:
            return FormatText(LoadText(kTextBundleFileMissing), file);
        case BundleFault::FileDiffers:
            return FormatText(LoadText(kTextBundleFileDiffers), file, key);
        case BundleFault::VersionDiffers:
            return FormatText(LoadText(kTextBundleVersionDiffers), file);
        case BundleFault::TargetDiffers:
            return FormatText(LoadText(kTextBundleTargetDiffers), file);
        case BundleFault::NoCrypto:
        case BundleFault::None:
            break;
    }
    return LoadText(kTextBundleNoCrypto);
}

std::string BundleRefusalText(const bundle::BundleCheck& check, const std::string& folder) {
    return BundleFaultText(check, folder) + LoadText(kTextBundleRefusedEnd);
}

bool RefuseDowngradeSetting() {
    return RegReadDword(HKEY_CURRENT_USER_ROOT, kProgramKey, "RefuseDowngrade", 0) != 0;
}

bool IsDowngrade(std::optional<int16_t> machineVersion, std::optional<uint16_t> machineBuild,
                 std::optional<uint32_t> fileVersion) {
    if (!machineVersion || !machineBuild || !fileVersion || *fileVersion == kSRecordNoVersion ||
        static_cast<uint16_t>(*machineVersion) == kNeverWritten) {
        return false;
    }
    return *fileVersion <
           MachineVersionValue(static_cast<uint16_t>(*machineVersion), *machineBuild);
}
