#include "update/software_update.h"

#include <cstdint>

#include "image/load_mot.h"
#include "image/memory_image.h"
#include "platform/errors.h"
#include "platform/interrupt.h"
#include "platform/process.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/utils.h"
#include "update/bundle_policy.h"
#include "update/firmware_file.h"
#include "update/machine_variables.h"
#include "update/raw_download.h"
#include "update/version_text.h"

namespace {

constexpr uint16_t kStateUpdating = 1;
constexpr uint16_t kStateValid = 2;
constexpr uint16_t kCheckSumAreas = 3;
constexpr uint32_t kDownloadRate = 38400;
constexpr uint32_t kNormalRate = 9600;

int Show(WindowHandle owner, unsigned textId, unsigned captionId, unsigned type) {
    const char* text = LoadText(textId);
    return FrontEndMessageBox(owner, text, LoadText(captionId), type);
}

// Both memory images stay locked while the downloads run and are unlocked on every path.
class LockedImage {
  public:
    explicit LockedImage(MemoryImage& image) : image_(image), bytes_(image.Lock()) {}
    ~LockedImage() { image_.Unlock(); }
    LockedImage(const LockedImage&) = delete;
    LockedImage& operator=(const LockedImage&) = delete;
    const uint8_t* Data() const { return bytes_.data(); }

  private:
    MemoryImage& image_;
    std::span<uint8_t> bytes_;
};

bool OpenOrReport(FileObj& file, const char* path) {
    if (OpenFirmwareFile(file, path) != 0) {
        return true;
    }
    ShowSystemError(path, platform::LastError());
    return false;
}

// Connects on nInterface, offering the interface selection until the machine answers;
// false when the operator cancelled it.
bool Connect(WindowHandle owner) {
    while (Schnittstelle_initialisieren(owner, nInterface, 1) == 0) {
        if (FrontEndSelectInterface(owner) == 0) {
            nInterface = -1;
            RegWriteDword(HKEY_CURRENT_USER_ROOT, kProgramKey, kInterfaceValue, -1);
            return false;
        }
    }
    return true;
}

void NoteFailure(UpdateReport& report, UpdateFailurePoint point) {
    // The first failure is the one that decided the outcome.
    if (report.failure.step == UpdateStep::None) {
        report.failure = point;
    }
}

void NoteDownload(UpdateReport& report, int image, const DownloadResult& result) {
    report.images[static_cast<size_t>(image)].trailerSum = result.trailerSum;
    switch (result.failure) {
        case DownloadResult::Failure::None:
            return;
        case DownloadResult::Failure::Start:
            NoteFailure(report, {UpdateStep::StartDownload, image, {}, {}});
            return;
        case DownloadResult::Failure::Block:
            NoteFailure(report, {UpdateStep::Block, image, result.block, {}});
            return;
        case DownloadResult::Failure::Trailer:
            NoteFailure(report, {UpdateStep::Trailer, image, {}, {}});
            return;
        case DownloadResult::Failure::Stopped:
            NoteFailure(report, {UpdateStep::Stopped, image, result.block, {}});
            return;
    }
}

// The update counter (0xFFFF, never written, counts as 0) and today's date.
void WriteUpdateRecord(ProtokollTQ8& connection, UpdateReport& report) {
    int16_t value = 0;
    uint16_t count = 0;
    if (connection.ReadVariable(kVariableCount, value) != 0 &&
        static_cast<uint16_t>(value) != kNeverWritten) {
        count = static_cast<uint16_t>(value);
    }
    const auto next = static_cast<uint16_t>(count + 1);
    if (connection.WriteVariable(kVariableCount, static_cast<int16_t>(next)) != 0) {
        report.updateCounter = next;
    }
    const platform::LocalDate today = platform::Today();
    connection.WriteVariable(kVariableYear, static_cast<int16_t>(today.year));
    connection.WriteVariable(
        kVariableDayMonth,
        static_cast<int16_t>(static_cast<uint16_t>(today.month * 256 + today.day)));
}

// One run from the first question to the closed connection. The files and images live as
// long as the run.
class UpdateRun {
  public:
    UpdateRun(WindowHandle owner, UpdateReport& report, const UpdateRunOptions& options)
        : owner_(owner), report_(report), options_(options) {}

    UpdateOutcome Run() {
        if (Show(owner_, kTextAsk, kCaptionAsk, kMbYesNo | kMbIconQuestion) != kIdYes) {
            return UpdateOutcome::Declined;
        }
        if (options_.confirmed) {
            options_.confirmed();
        }
        report_.downgradeReason = options_.downgradeReason;
        if (options_.checkBundle && !BundleAccepted()) {
            return UpdateOutcome::BundleRefused;
        }
        if (!Connect(owner_)) {
            return UpdateOutcome::NoConnection;
        }
        ProtokollTQ8& connection = *pProtokoll;
        UpdateOutcome outcome = UpdateOutcome::None;
        {
            // From here to its close the connection is the update's own, through every
            // box and wait that dispatches messages.
            const ConnectionPin pin(connection);
            outcome = Prepare(connection);
            if (outcome != UpdateOutcome::None) {
                return outcome;
            }
            outcome = DownloadPhase(connection);
        }
        CloseConnection();
        return outcome;
    }

  private:
    // Before a byte goes to the machine: with trusted keys installed, only a bundle that
    // one of them signed, and whose files match its manifest, goes on.
    bool BundleAccepted() {
        report_.bundle = bundle::CheckBundle(szProgramDirectory, bundle::LoadInstalledKeys());
        if (options_.bundleChecked) {
            options_.bundleChecked(*report_.bundle);
        }
        return report_.bundle->state != bundle::BundleState::Refused || RefuseBundle();
    }

    // The connection may have waited on the operator for minutes: a verified bundle is
    // checked again once its files are loaded, so that files changed meanwhile are not
    // erased onto the machine unchecked.
    bool BundleStillAccepted() {
        if (!report_.bundle || report_.bundle->state != bundle::BundleState::Verified) {
            return true;
        }
        report_.bundle = bundle::CheckBundle(szProgramDirectory, bundle::LoadInstalledKeys());
        return report_.bundle->state == bundle::BundleState::Verified || RefuseBundle();
    }

    // Always false: the bundle goes no further.
    bool RefuseBundle() {
        NoteFailure(report_, {UpdateStep::Bundle, {}, {}, {}});
        const std::string text = BundleRefusalText(*report_.bundle, szProgramDirectory);
        FrontEndMessageBox(owner_, text.c_str(), LoadText(kCaptionBundleRefused),
                           kMbOk | kMbIconError);
        return false;
    }

    // Under RefuseDowngrade, an older file than the machine's goes no further, unless this
    // run allows it; the machine is left as a No at the overview leaves it.
    bool DowngradeAccepted(const VersionReads& reads) {
        if (options_.downgradeReason || !RefuseDowngradeSetting() ||
            !IsDowngrade(reads.machineVersion, reads.machineBuild, reads.fileVersion)) {
            return true;
        }
        NoteFailure(report_, {UpdateStep::Downgrade, {}, {}, {}});
        // Both are known here: IsDowngrade compared them.
        const std::string file = VersionText(*reads.fileVersion).value_or("");
        const std::string machine =
            VersionText(MachineVersionValue(static_cast<uint16_t>(*reads.machineVersion),
                                            *reads.machineBuild))
                .value_or("");
        FrontEndMessageBox(
            owner_, FormatText(LoadText(kTextDowngradeRefused), file.c_str(), machine.c_str()),
            LoadText(kCaptionDowngradeRefused), kMbOk | kMbIconError);
        return false;
    }

    // From the files to the operator's Yes at the overview; None to go on.
    UpdateOutcome Prepare(ProtokollTQ8& connection) {
        // Read as ever, but the files come from the program directory: a folder stored by
        // some other tool must not redirect which firmware is written.
        char lastDirectory[kMaxPath + 1];
        RegReadString(HKEY_CURRENT_USER_ROOT, kProgramKey, "LastUpdateDirectory",
                      szProgramDirectory, lastDirectory, sizeof lastDirectory);
        FirmwareFilePath(programPath_, kProgramFileName);
        FirmwareFilePath(textPath_, kTextFileName);

        if (!OpenOrReport(programFile_, programPath_)) {
            NoteFailure(report_, {UpdateStep::OpenFile, 0, {}, {}});
            return UpdateOutcome::FileError;
        }
        if (!OpenOrReport(textFile_, textPath_)) {
            NoteFailure(report_, {UpdateStep::OpenFile, 1, {}, {}});
            return UpdateOutcome::FileError;
        }
        int16_t serial = 0;
        if (connection.ReadVariable(kVariableSerial, serial) == 0) {
            NoteFailure(report_, {UpdateStep::SerialNumber, {}, {}, {}});
            Show(owner_, kTextNoConnection, kCaptionNoConnection, kMbOk | kMbIconError);
            return UpdateOutcome::ConnectionTest;
        }
        report_.serialNumber = serial;

        if (!Load(programFile_, programPath_, program_, programStart_, programSize_, 0) ||
            !Load(textFile_, textPath_, text_, textStart_, textSize_, 1)) {
            Show(owner_, kTextLoad, kCaptionLoad, kMbOk | kMbIconError);
            return UpdateOutcome::LoadError;
        }

        if (!BundleStillAccepted()) {
            return UpdateOutcome::BundleRefused;
        }
        char overview[kOverviewCapacity + 1];
        VersionReads reads;
        BuildVersionOverviewWith(&connection, &programFile_, overview, kOverviewCapacity, &reads);
        report_.machineVersion = reads.machineVersion;
        report_.machineBuild = reads.machineBuild;
        report_.fileVersion = reads.fileVersion;
        if (!DowngradeAccepted(reads)) {
            return UpdateOutcome::DowngradeRefused;
        }
        AppendString(overview, LoadText(kTextReally), kOverviewCapacity);
        if (FrontEndMessageBox(owner_, overview, LoadText(kCaptionOverview),
                               kMbYesNo | kMbIconQuestion) != kIdYes) {
            return UpdateOutcome::OverviewDeclined;
        }
        return UpdateOutcome::None;
    }

    bool Load(FileObj& file, const char* path, MemoryImage& image, uint32_t& start, uint32_t& size,
              int index) {
        LoadOptions options;
        options.checksumDirectory = szProgramDirectory;
        LoadReport loaded;
        if (LoadMotFileWith(file, image, start, size, options, &loaded) == 0) {
            NoteFailure(report_, {UpdateStep::LoadImage, index, {}, {}});
            return false;
        }
        report_.images.push_back({path, start, start + size - 1, size, loaded.crc, {}});
        return true;
    }

    // Everything from the application state before the download to the update record.
    UpdateOutcome DownloadPhase(ProtokollTQ8& connection) {
        if (connection.GetApplicationActive() != 0) {
            connection.SetApplicationActive(kStateUpdating);
        }
        connection.SetBaudRate(owner_, nInterface, kDownloadRate);

        LockedImage program(program_);
        LockedImage text(text_);
        DownloadResult result;
        bool downloaded = RawDownload(owner_, program.Data(), programStart_, programSize_,
                                      LoadText(kCaptionProgram), &result) != 0;
        NoteDownload(report_, 0, result);
        if (downloaded) {
            downloaded = RawDownload(owner_, text.Data(), textStart_, textSize_,
                                     LoadText(kCaptionTexts), &result) != 0;
            NoteDownload(report_, 1, result);
        }
        const bool verified = downloaded && ChecksumsAgree(connection);

        connection.SetBaudRate(owner_, nInterface, kNormalRate);
        if (verified) {
            connection.SetApplicationActive(kStateValid);
            Show(owner_, kTextDone, kCaptionDone, kMbOk | kMbIconInformation);
        } else {
            connection.SetApplicationActive(kStateUpdating);
            Show(owner_, kTextFailed, kCaptionFailed, kMbOk | kMbIconError);
        }
        WriteUpdateRecord(connection, report_);

        if (verified) {
            return UpdateOutcome::Succeeded;
        }
        if (!downloaded) {
            return platform::StopRequested() ? UpdateOutcome::Interrupted
                                             : UpdateOutcome::DownloadFailed;
        }
        return UpdateOutcome::ChecksumFailed;
    }

    // All three areas are always asked; each mismatch is shown at once.
    bool ChecksumsAgree(ProtokollTQ8& connection) {
        bool agree = true;
        for (uint16_t area = 0; area < kCheckSumAreas; ++area) {
            UpdateChecksumReport sums;
            sums.area = area;
            if (connection.GetCheckSum(area, sums.start, sums.end, sums.saved, sums.calculated) ==
                0) {
                NoteFailure(report_, {UpdateStep::Checksum, {}, {}, area});
                agree = false;
                continue;
            }
            sums.agree = sums.saved == sums.calculated;
            report_.checksums.push_back(sums);
            if (!sums.agree) {
                NoteFailure(report_, {UpdateStep::Checksum, {}, {}, area});
                Show(owner_, kTextChecksum, kCaptionChecksumArea0 + area, kMbOk | kMbIconError);
                agree = false;
            }
        }
        return agree;
    }

    WindowHandle owner_;
    UpdateReport& report_;
    const UpdateRunOptions& options_;
    char programPath_[kMaxPath] = "";
    char textPath_[kMaxPath] = "";
    FileObj programFile_;
    FileObj textFile_;
    MemoryImage program_;
    MemoryImage text_;
    uint32_t programStart_ = 0;
    uint32_t programSize_ = 0;
    uint32_t textStart_ = 0;
    uint32_t textSize_ = 0;
};

}  // namespace

UpdateOutcome PerformSoftwareUpdate(WindowHandle owner, UpdateReport& report,
                                    const std::function<void()>& confirmed) {
    UpdateRunOptions options;
    options.confirmed = confirmed;
    return PerformSoftwareUpdate(owner, report, options);
}

UpdateOutcome PerformSoftwareUpdate(WindowHandle owner, UpdateReport& report,
                                    const UpdateRunOptions& options) {
    report = UpdateReport{};
    const ConnectionLease lease;
    if (!lease.Acquired()) {
        TraceProtokoll(3, "{cy}SoftwareUpdate: an update is already running");
        report.outcome = UpdateOutcome::Busy;
        return report.outcome;
    }
    TraceProtokoll(4, "{cb}SoftwareUpdate");
    report.outcome = UpdateRun(owner, report, options).Run();
    const bool downloadPhase = report.outcome >= UpdateOutcome::DownloadFailed;
    TraceProtokoll(4, "{c%c}*SoftwareUpdate = %d (%d)",
                   report.outcome == UpdateOutcome::Succeeded ? 'g' : 'r', downloadPhase ? 1 : 0,
                   static_cast<int>(report.outcome));
    return report.outcome;
}

int SoftwareUpdate(WindowHandle owner) {
    UpdateReport report;
    return PerformSoftwareUpdate(owner, report) >= UpdateOutcome::DownloadFailed ? 1 : 0;
}
