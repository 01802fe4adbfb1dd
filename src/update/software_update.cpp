#include "update/software_update.h"

#include <cstdint>
#include <cstdio>

#include "image/load_mot.h"
#include "image/memory_image.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/utils.h"
#include "update/firmware_file.h"
#include "update/machine_variables.h"
#include "update/raw_download.h"

namespace {

constexpr unsigned kTextAsk = 2300;
constexpr unsigned kCaptionAsk = 2301;
constexpr unsigned kCaptionNoConnection = 2305;
constexpr unsigned kTextNoConnection = 2306;
constexpr unsigned kCaptionOverview = 2310;
constexpr unsigned kTextReally = 2313;
constexpr unsigned kCaptionLoad = 2320;
constexpr unsigned kTextLoad = 2321;
constexpr unsigned kCaptionProgram = 2330;
constexpr unsigned kCaptionTexts = 2331;
constexpr unsigned kCaptionDone = 2340;
constexpr unsigned kTextDone = 2341;
constexpr unsigned kCaptionFailed = 2342;
constexpr unsigned kTextFailed = 2343;
constexpr unsigned kCaptionChecksumArea0 = 2344;
constexpr unsigned kTextChecksum = 2347;

constexpr uint16_t kStateUpdating = 1;
constexpr uint16_t kStateValid = 2;
constexpr uint16_t kCheckSumAreas = 3;
constexpr uint32_t kDownloadRate = 38400;
constexpr uint32_t kNormalRate = 9600;

UpdateOutcome gLastOutcome = UpdateOutcome::None;

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
            RegWriteDword(HKEY_CURRENT_USER_ROOT, kProgramKey, "Interface", -1);
            return false;
        }
    }
    return true;
}

// All three areas are always asked; each mismatch is shown at once.
bool ChecksumsAgree(WindowHandle owner, ProtokollTQ8& connection) {
    bool agree = true;
    for (uint16_t area = 0; area < kCheckSumAreas; ++area) {
        uint32_t start = 0;
        uint32_t end = 0;
        uint32_t saved = 0;
        uint32_t calculated = 0;
        if (connection.GetCheckSum(area, start, end, saved, calculated) == 0) {
            agree = false;
        } else if (saved != calculated) {
            Show(owner, kTextChecksum, kCaptionChecksumArea0 + area, kMbOk | kMbIconError);
            agree = false;
        }
    }
    return agree;
}

// The update counter (0xFFFF, never written, counts as 0) and today's date.
void WriteUpdateRecord(ProtokollTQ8& connection) {
    int16_t value = 0;
    uint16_t count = 0;
    if (connection.ReadVariable(kVariableCount, value) != 0 &&
        static_cast<uint16_t>(value) != kNeverWritten) {
        count = static_cast<uint16_t>(value);
    }
    connection.WriteVariable(kVariableCount,
                             static_cast<int16_t>(static_cast<uint16_t>(count + 1)));
    const platform::LocalDate today = platform::Today();
    connection.WriteVariable(kVariableYear, static_cast<int16_t>(today.year));
    connection.WriteVariable(
        kVariableDayMonth,
        static_cast<int16_t>(static_cast<uint16_t>(today.month * 256 + today.day)));
}

struct Images {
    MemoryImage program;
    MemoryImage text;
    uint32_t programStart = 0;
    uint32_t programSize = 0;
    uint32_t textStart = 0;
    uint32_t textSize = 0;
};

// Answers that come late cost every block of the download as much again; say so while
// the operator can still set the line right.
void WarnOfLateAnswers(const ProtokollTQ8& connection) {
    const uint64_t lateUs = connection.answerTiming.LatenessUs();
    const double slowdown = DownloadSlowdown(lateUs, kDownloadRate);
    TraceProtokoll(4, "{cc}Answers late by %u us: download %.0f %% longer",
                   static_cast<unsigned>(lateUs), slowdown * 100.0);
    if (slowdown <= kSlowdownWarned) {
        return;
    }
    char text[400];
    std::snprintf(text, sizeof text,
                  "the machine's answers come %.1f ms late, which makes the download about "
                  "%.0f %% longer. A network port's server holds back what the line sends: "
                  "in ser2net's configuration set chardelay: false for this connection.",
                  static_cast<double>(lateUs) / 1000.0, slowdown * 100.0);
    TraceProtokoll(3, "{cy}%s", text);
    FrontEndNotice(text);
}

// Everything from the application state before the download to the closed connection.
UpdateOutcome DownloadPhase(WindowHandle owner, Images& images) {
    ProtokollTQ8& connection = *pProtokoll;
    if (connection.GetApplicationActive() != 0) {
        connection.SetApplicationActive(kStateUpdating);
    }
    WarnOfLateAnswers(connection);
    connection.SetBaudRate(owner, nInterface, kDownloadRate);

    LockedImage program(images.program);
    LockedImage text(images.text);
    bool downloaded = RawDownload(owner, program.Data(), images.programStart, images.programSize,
                                  LoadText(kCaptionProgram)) != 0;
    if (downloaded) {
        downloaded = RawDownload(owner, text.Data(), images.textStart, images.textSize,
                                 LoadText(kCaptionTexts)) != 0;
    }
    const bool verified = downloaded && ChecksumsAgree(owner, connection);

    connection.SetBaudRate(owner, nInterface, kNormalRate);
    if (verified) {
        connection.SetApplicationActive(kStateValid);
        Show(owner, kTextDone, kCaptionDone, kMbOk | kMbIconInformation);
    } else {
        connection.SetApplicationActive(kStateUpdating);
        Show(owner, kTextFailed, kCaptionFailed, kMbOk | kMbIconError);
    }
    WriteUpdateRecord(connection);
    CloseConnection();

    if (verified) {
        return UpdateOutcome::Succeeded;
    }
    if (!downloaded) {
        return TransferStopRequested() ? UpdateOutcome::Interrupted : UpdateOutcome::DownloadFailed;
    }
    return UpdateOutcome::ChecksumFailed;
}

UpdateOutcome RunUpdate(WindowHandle owner) {
    if (Show(owner, kTextAsk, kCaptionAsk, kMbYesNo | kMbIconQuestion) != kIdYes) {
        return UpdateOutcome::Declined;
    }
    if (!Connect(owner)) {
        return UpdateOutcome::NoConnection;
    }

    // Read as ever, but the files come from the program directory: a folder stored by
    // some other tool must not redirect which firmware is written.
    char lastDirectory[kMaxPath + 1];
    RegReadString(HKEY_CURRENT_USER_ROOT, kProgramKey, "LastUpdateDirectory", szProgramDirectory,
                  lastDirectory, sizeof lastDirectory);
    char programPath[kMaxPath];
    char textPath[kMaxPath];
    FirmwareFilePath(programPath, kProgramFileName);
    FirmwareFilePath(textPath, kTextFileName);

    FileObj programFile;
    FileObj textFile;
    if (!OpenOrReport(programFile, programPath) || !OpenOrReport(textFile, textPath)) {
        return UpdateOutcome::FileError;
    }
    int16_t serial = 0;
    if (pProtokoll->ReadVariable(kVariableSerial, serial) == 0) {
        Show(owner, kTextNoConnection, kCaptionNoConnection, kMbOk | kMbIconError);
        return UpdateOutcome::ConnectionTest;
    }

    Images images;
    if (LoadMotFile(programFile, images.program, images.programStart, images.programSize) == 0 ||
        LoadMotFile(textFile, images.text, images.textStart, images.textSize) == 0) {
        Show(owner, kTextLoad, kCaptionLoad, kMbOk | kMbIconError);
        return UpdateOutcome::LoadError;
    }

    char overview[kOverviewCapacity + 1];
    BuildVersionOverview(&programFile, overview, kOverviewCapacity);
    AppendString(overview, LoadText(kTextReally), kOverviewCapacity);
    if (FrontEndMessageBox(owner, overview, LoadText(kCaptionOverview),
                           kMbYesNo | kMbIconQuestion) != kIdYes) {
        return UpdateOutcome::OverviewDeclined;
    }
    return DownloadPhase(owner, images);
}

}  // namespace

int SoftwareUpdate(WindowHandle owner) {
    ConnectionLease lease;
    if (!lease.Acquired()) {
        TraceProtokoll(3, "{cy}SoftwareUpdate: an update is already running");
        gLastOutcome = UpdateOutcome::Busy;
        return 0;
    }
    TraceProtokoll(4, "{cb}SoftwareUpdate");
    gLastOutcome = RunUpdate(owner);
    const bool downloadPhase = gLastOutcome >= UpdateOutcome::DownloadFailed;
    TraceProtokoll(4, "{c%c}*SoftwareUpdate = %d (%d)",
                   gLastOutcome == UpdateOutcome::Succeeded ? 'g' : 'r', downloadPhase ? 1 : 0,
                   static_cast<int>(gLastOutcome));
    return downloadPhase ? 1 : 0;
}

UpdateOutcome LastUpdateOutcome() {
    return gLastOutcome;
}
