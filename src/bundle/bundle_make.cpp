#include "bundle/bundle_make.h"

#include "bundle/bundle_check.h"
#include "bundle/manifest.h"
#include "platform/file_io.h"

namespace bundle {

MakeResult WriteManifest(const std::string& folder, const std::string& name,
                         std::string& failedFile) {
    if (!ValidBundleName(name)) {
        return MakeResult::BadName;
    }
    Manifest manifest;
    manifest.name = name;
    for (size_t i = 0; i < kBundleFiles.size(); ++i) {
        const auto file = HashFile(BundlePath(folder, kBundleFiles[i]));
        if (!file) {
            failedFile = kBundleFiles[i];
            return MakeResult::FileUnreadable;
        }
        manifest.files[i] = *file;
    }
    const auto identity = ReadProgramIdentity(BundlePath(folder, kBundleFiles[0]));
    if (!identity) {
        failedFile = kBundleFiles[0];
        return MakeResult::FileUnreadable;
    }
    manifest.version = identity->version;
    manifest.target = identity->target;
    failedFile = kManifestName;
    return platform::WriteFileAtomically(BundlePath(folder, kManifestName), ManifestText(manifest))
               ? MakeResult::Ok
               : MakeResult::NotWritten;
}

}  // namespace bundle
