// tq8flash bundle make|verify: the manifest of a firmware bundle, and its check against
// the trusted keys as an update makes it.

#include <cstdio>
#include <string>

#include "bundle/bundle_check.h"
#include "bundle/bundle_make.h"
#include "cli/bundle_text.h"
#include "cli/commands.h"
#include "cli/console_text.h"
#include "update/bundle_policy.h"
#include "update/exit_codes.h"

namespace {

int RunMake(const std::string& dir, const std::string& name) {
    std::string failedFile;
    const std::string manifest = bundle::BundlePath(dir, bundle::kManifestName);
    switch (bundle::WriteManifest(dir, name, failedFile)) {
        case bundle::MakeResult::Ok:
            std::printf(
                "%s\n",
                ConsoleFormat(Cli::kBundleMade, manifest.c_str(), manifest.c_str()).c_str());
            return kExitSuccess;
        case bundle::MakeResult::BadName:
            std::fprintf(stderr, "%s\n", ConsoleText(Cli::kBundleBadName));
            return kExitUsage;
        case bundle::MakeResult::FileUnreadable:
            std::fprintf(stderr, "%s\n",
                         ConsoleFormat(Cli::kBundleFileUnreadable,
                                       bundle::BundlePath(dir, failedFile.c_str()).c_str())
                             .c_str());
            return kExitFileError;
        case bundle::MakeResult::NotWritten:
            break;
    }
    std::fprintf(stderr, "%s\n", ConsoleFormat(Cli::kBundleNotWritten, manifest.c_str()).c_str());
    return kExitFailure;
}

// 0 verified, 7 refused; an unsigned bundle is neither, and says why.
int RunVerify(const std::string& dir) {
    const bundle::BundleCheck check = CheckInstalled(dir);
    std::printf("%s\n", dir.c_str());
    if (!check.name.empty()) {
        std::printf("%s\n", ConsoleFormat(Cli::kBundleVerifyName, check.name.c_str()).c_str());
    }
    if (!check.manifestSha256.empty()) {
        std::printf(
            "%s\n",
            ConsoleFormat(Cli::kBundleVerifyManifest, check.manifestSha256.c_str()).c_str());
    }
    if (!check.keyFile.empty()) {
        std::printf("%s\n",
                    ConsoleFormat(Cli::kBundleVerifyKey, check.keyId.c_str(), check.keyFile.c_str())
                        .c_str());
        std::printf("%s\n",
                    ConsoleFormat(Cli::kBundleVerifyComment, check.trustedComment.c_str()).c_str());
    } else if (check.fault == bundle::BundleFault::UntrustedKey) {
        std::printf("%s\n",
                    ConsoleFormat(Cli::kBundleVerifyUntrustedKey, check.keyId.c_str()).c_str());
    }
    switch (check.state) {
        case bundle::BundleState::Verified:
            std::printf("%s\n%s\n", ConsoleText(Cli::kBundleVerifyFiles),
                        ConsoleText(Cli::kBundleVerifyVerified));
            return kExitSuccess;
        case bundle::BundleState::Unsigned:
            std::printf(
                "%s\n",
                ConsoleFormat(Cli::kBundleVerifyUnsigned, TrustedKeyFolderList().c_str()).c_str());
            return kExitFailure;
        case bundle::BundleState::Refused:
            break;
    }
    std::printf("%s\n", ConsoleFormat(Cli::kBundleVerifyRefused,
                                      TerminalText(BundleFaultText(check, dir).c_str()).c_str())
                            .c_str());
    return kExitRefused;
}

class BundleCommand : public Command {
  public:
    BundleCommand(CLI::App& parent, RunOptions& options)
        : Command(parent, "bundle",
                  "Write a firmware bundle's manifest for signing, or check a bundle as an "
                  "update would") {
        App().require_subcommand(1);
        make_ = App().add_subcommand(
            "make", "Write TQ8-BUNDLE.INI from the files of --dir, then sign it with minisign");
        make_->add_option("--dir", dir_, "the bundle's folder")->required()->type_name("DIR");
        make_->add_option("--name", name_, "the bundle's name")->type_name("TEXT");
        AddLanguageOption(*make_, options);
        verify_ = App().add_subcommand(
            "verify",
            "Check the bundle of --dir against the trusted keys: which key signed it, and "
            "whether every file matches (exit 0 verified, 7 refused, 1 unsigned: no trusted "
            "key is installed)");
        verify_->add_option("--dir", dir_, "the bundle's folder")->required()->type_name("DIR");
        AddLanguageOption(*verify_, options);
    }

    // The files alone: no machine, no port.
    RunSetup Setup(const RunOptions&) const override { return RunSetup::Language; }
    int Run(ConsoleSession&, const RunOptions&) override {
        return make_->parsed() ? RunMake(dir_, name_) : RunVerify(dir_);
    }

  private:
    CLI::App* make_ = nullptr;
    CLI::App* verify_ = nullptr;
    std::string dir_;
    std::string name_;
};

}  // namespace

std::unique_ptr<Command> AddBundleCommand(CLI::App& app, RunOptions& options) {
    return std::make_unique<BundleCommand>(app, options);
}
