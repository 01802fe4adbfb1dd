#include "cli/bundle_text.h"

#include "cli/console_text.h"
#include "platform/trust_folders.h"
#include "update/bundle_policy.h"

std::string BundleStateText(const bundle::BundleCheck& check, const std::string& folder) {
    switch (check.state) {
        case bundle::BundleState::Verified:
            return ConsoleFormat(Cli::kBundleVerified, check.keyId.c_str(), check.keyFile.c_str()) +
                   "\n" + ConsoleFormat(Cli::kBundleTrustedComment, check.trustedComment.c_str()) +
                   "\n";
        case bundle::BundleState::Unsigned:
            return std::string(ConsoleText(Cli::kBundleUnsigned)) + "\n";
        case bundle::BundleState::Refused:
            break;
    }
    return ConsoleFormat(Cli::kBundleRefused,
                         TerminalText(BundleFaultText(check, folder).c_str()).c_str()) +
           "\n";
}

bundle::BundleCheck CheckInstalled(const std::string& folder) {
    return bundle::CheckBundle(folder, bundle::LoadInstalledKeys());
}

std::string TrustedKeyFolderList() {
    std::string list;
    for (const std::string& folder : platform::TrustedKeyFolders()) {
        list += (list.empty() ? "" : ", ") + folder;
    }
    return list;
}
