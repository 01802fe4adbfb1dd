// Whole updates against the simulated machine: what each end of the procedure leaves on
// the line, in the machine, in the settings and on the screen.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/interrupt.h"
#include "platform/process.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "update/machine_info.h"
#include "update/raw_download.h"
#include "update/software_update.h"
#include "update_fixture.h"

namespace {

int16_t DayMonth(const platform::LocalDate& date) {
    return static_cast<int16_t>(date.month * 256 + date.day);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

TEST_F(UpdateTest, ACompleteRunSendsTheDescribedExchangeAndRecordsTheUpdate) {
    sim_.SetVariable(62, 4);
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Succeeded);
    const platform::LocalDate today = platform::Today();

    std::vector<std::string> shape = Shape();
    const std::vector<std::string> expected = SuccessfulShape();
    ASSERT_GE(shape.size(), expected.size() + 9);
    EXPECT_EQ(std::vector<std::string>(shape.begin(), shape.begin() + expected.size()), expected);
    const std::vector<std::string> tail(shape.begin() + expected.size(), shape.end());
    ASSERT_EQ(tail.size(), 9U);
    EXPECT_TRUE(StartsWith(tail[0], "CHECKSUM area=0 "));
    EXPECT_TRUE(StartsWith(tail[1], "CHECKSUM area=1 "));
    EXPECT_TRUE(StartsWith(tail[2], "CHECKSUM area=2 "));
    EXPECT_EQ(tail[3], "RATE 9600 -> ACK");
    EXPECT_EQ(tail[4], "CMD 6 SetApplicationActive state=2 guard=0x5d2e91c4 -> ACK");
    EXPECT_EQ(tail[5], "CMD 4 ReadVariable id=62 -> ACK kennung=2 value=4");
    EXPECT_EQ(tail[6], "CMD 5 WriteVariable id=62 value=5 -> ACK");
    EXPECT_EQ(tail[7], "CMD 5 WriteVariable id=61 value=" + std::to_string(today.year) + " -> ACK");
    EXPECT_EQ(tail[8],
              "CMD 5 WriteVariable id=60 value=" + std::to_string(DayMonth(today)) + " -> ACK");

    EXPECT_EQ(sim_.Variable(62), 5);
    EXPECT_EQ(sim_.Variable(61), today.year);
    EXPECT_EQ(sim_.Variable(60), DayMonth(today));
    EXPECT_EQ(sim_.ApplicationState(), 2);
    EXPECT_EQ(sim_.LineRate(), 9600U);
    EXPECT_EQ(pProtokoll, nullptr);
    // The flash holds both images as they were sent.
    const ImageFacts program = Facts("TQ8-PROG.MOT");
    const std::vector<uint8_t> written = sim_.ReadMemory(program.start, program.size);
    uint8_t xorValue = 0;
    for (uint8_t byte : written) {
        xorValue ^= byte;
    }
    EXPECT_EQ(xorValue, program.xorValue);

    EXPECT_EQ(Captions(), (std::vector<std::string>{"Kovra TQ VIII Update-Utility",
                                                    "Version-Overview", "Download completed"}));
    const auto boxes = scripted::Boxes();
    EXPECT_EQ(boxes[1].text,
              "Software-version maschine:  1.02.5\r\nSoftware-version file:             1.03.7\r\n"
              "\r\n\r\nShould the update really be executed?");
    EXPECT_EQ(boxes[1].type, kMbYesNo | kMbIconQuestion);
    EXPECT_EQ(boxes[2].type, kMbIconInformation);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.owner, kOwner);
    }
    EXPECT_EQ(StoredInterface(), -99) << "a successful run stores nothing";

    EXPECT_EQ(report_.serialNumber, 4711);
    EXPECT_EQ(report_.machineVersion, 102);
    EXPECT_EQ(report_.machineBuild, 5);
    EXPECT_EQ(report_.fileVersion, 0x01030007U);
    ASSERT_EQ(report_.images.size(), 2U);
    const ImageFacts text = Facts("TQ8-TEXT.MOT");
    EXPECT_EQ(report_.images[1].file, bundle_ + "/TQ8-TEXT.MOT");
    EXPECT_EQ(report_.images[1].end, text.start + text.size - 1);
    EXPECT_EQ(report_.images[1].crc32, text.crc);
    EXPECT_EQ(report_.images[1].trailerSum, text.sum);
    EXPECT_EQ(report_.images[0].trailerSum, program.sum);
    ASSERT_EQ(report_.checksums.size(), 3U);
    EXPECT_EQ(report_.checksums[2].area, 2);
    EXPECT_TRUE(report_.checksums[2].agree);
    EXPECT_EQ(report_.updateCounter, 5);
    EXPECT_EQ(report_.failure.step, UpdateStep::None);
}

TEST_F(UpdateTest, TheProgressWindowsShowCaptionTextsAndWholeKiBBeforeEachBlock) {
    ASSERT_EQ(SoftwareUpdate(kOwner), 1);
    const ImageFacts program = Facts("TQ8-PROG.MOT");
    const ImageFacts text = Facts("TQ8-TEXT.MOT");
    const auto calls = scripted::ProgressCalls();
    std::vector<std::string> opened;
    std::vector<std::string> framing;
    std::vector<uint32_t> positions[2];
    int window = -1;
    for (const auto& call : calls) {
        if (StartsWith(call.what, "open ")) {
            ++window;
            opened.push_back(call.what);
        } else if (StartsWith(call.what, "pos ")) {
            positions[window].push_back(static_cast<uint32_t>(std::stoul(call.what.substr(4))));
        } else {
            framing.push_back(call.what);
        }
    }
    EXPECT_EQ(opened,
              (std::vector<std::string>{"open Downloading software", "open Downloading texts"}));
    EXPECT_EQ(framing,
              (std::vector<std::string>{"range " + std::to_string(program.size / 1024),
                                        "text Erasing memory", "text Download active", "close",
                                        "range " + std::to_string(text.size / 1024),
                                        "text Erasing memory", "text Download active", "close"}));
    // One position before the erase, then one before every block.
    ASSERT_EQ(positions[0].size(), program.size / 32 + 1);
    ASSERT_EQ(positions[1].size(), text.size / 32 + 1);
    EXPECT_EQ(positions[0].front(), 0U);
    EXPECT_EQ(positions[0].back(), (program.size - 32) / 1024);
    EXPECT_TRUE(std::is_sorted(positions[0].begin(), positions[0].end()));
    EXPECT_EQ(positions[1].back(), (text.size - 32) / 1024);
}

TEST_F(UpdateTest, NoAtTheFirstQuestionTouchesNothing) {
    scripted::QueueAnswer(kIdNo);
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Declined);
    EXPECT_TRUE(sim_.Transcript().empty());
    EXPECT_EQ(trace_.CountPrefix("{cb}fopen"), 0U);
    EXPECT_EQ(trace_.CountPrefix("{cb}Schnittstelle_initialisieren"), 0U);
    EXPECT_EQ(Captions().size(), 1U);
}

TEST_F(UpdateTest, CancelInTheInterfaceSelectionStoresMinusOne) {
    nInterface = -1;
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::NoConnection);
    EXPECT_EQ(scripted::InterfaceSelectionsShown(), 1U);
    EXPECT_EQ(nInterface, -1);
    EXPECT_EQ(StoredInterface(), -1);
    EXPECT_EQ(pProtokoll, nullptr);
    // -1 opens nothing and warns of nothing: only the first question was shown.
    EXPECT_EQ(Captions().size(), 1U);
    EXPECT_TRUE(sim_.Transcript().empty());
}

TEST_F(UpdateTest, ASilentMachineIsReportedThenTheSelectionIsOfferedUntilOneAnswers) {
    nInterface = 5;  // absent
    sim_.InjectSilence(8, 1);
    int shown = 0;
    scripted::SetInterfaceSelection([&](WindowHandle owner) {
        EXPECT_EQ(owner, kOwner);
        ++shown;
        nInterface = kMachinePort;  // what the dialog's OK leaves
        return 1;
    });
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Succeeded);
    // COM5 cannot be opened: the port's own error box. COM3 first stays silent: the
    // bootloader warning.
    EXPECT_EQ(shown, 2);
    const auto boxes = scripted::Boxes();
    ASSERT_GE(boxes.size(), 3U);
    EXPECT_EQ(boxes[1].caption, "Kovra TQ8/ZEL 5000: COM5 (/nonexistent/tty5)");
    EXPECT_EQ(boxes[1].type, kMbIconError);
    EXPECT_EQ(boxes[2].caption, "Seraching Interface");
    EXPECT_EQ(boxes[2].type, kMbIconExclamation);
}

TEST_F(UpdateTest, AMissingProgramFileIsReportedAloneAndTheConnectionStays) {
    RemoveFile("TQ8-PROG.MOT");
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::FileError);
    const auto boxes = scripted::Boxes();
    ASSERT_EQ(boxes.size(), 2U);
    EXPECT_EQ(boxes[1].caption, bundle_ + "/TQ8-PROG.MOT");
    EXPECT_EQ(boxes[1].type, kMbIconError);
    EXPECT_FALSE(boxes[1].text.empty());
    EXPECT_EQ(trace_.CountPrefix("{cb}fopen (\"" + bundle_ + "/TQ8-TEXT.MOT"), 0U);
    ASSERT_NE(pProtokoll, nullptr);
    EXPECT_EQ(sim_.LineRate(), 9600U);
}

TEST_F(UpdateTest, AMissingTextFileIsReportedWithItsPath) {
    RemoveFile("TQ8-TEXT.MOT");
    EXPECT_EQ(SoftwareUpdate(kOwner), 0);
    ASSERT_EQ(Captions().size(), 2U);
    EXPECT_EQ(Captions()[1], bundle_ + "/TQ8-TEXT.MOT");
    EXPECT_TRUE(LinesStarting("CMD 4").empty()) << "files are opened before the connection test";
}

TEST_F(UpdateTest, AnUnreadableSerialNumberEndsWithTheConnectionMessage) {
    sim_.InjectKennung(2398, 0);
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::ConnectionTest);
    ASSERT_EQ(Captions().size(), 2U);
    EXPECT_EQ(Captions()[1], "Could not establish connection");
    EXPECT_TRUE(StartsWith(scripted::Boxes()[1].text, "The protocol with Kovra TQ VIII"));
    EXPECT_NE(pProtokoll, nullptr);
    EXPECT_TRUE(LinesStarting("CMD 6").empty());
}

TEST_F(UpdateTest, AFileThatDoesNotMatchItsChecksumIsNotLoaded) {
    WriteFile("TQ8-CRC.INI", "[CRC]\r\nTQ8-PROG.MOT=1\r\nTQ8-TEXT.MOT=-1807560142\r\n");
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::LoadError);
    const auto captions = Captions();
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.back(), "Download");
    EXPECT_EQ(scripted::Boxes().back().text, "Error in file");
    EXPECT_TRUE(LinesStarting("RATE").empty());
    EXPECT_NE(pProtokoll, nullptr);
}

TEST_F(UpdateTest, NoAtTheOverviewLeavesTheMachineUntouchedAndTheConnectionOpen) {
    scripted::QueueAnswer(kIdYes);
    scripted::QueueAnswer(kIdNo);
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::OverviewDeclined);
    EXPECT_TRUE(LinesStarting("CMD 5").empty());
    EXPECT_TRUE(LinesStarting("CMD 6").empty());
    EXPECT_TRUE(LinesStarting("RATE").empty());
    ASSERT_NE(pProtokoll, nullptr);
    // The next user reuses it.
    char text[1024];
    BuildAboutText(kOwner, text, kAboutTextCapacity);
    EXPECT_NE(std::string(text).find("4711"), std::string::npos);
}

TEST_F(UpdateTest, AMachineInStateZeroIsNotSetToOneBeforeTheDownload) {
    sim_.SetApplicationState(0);
    ASSERT_EQ(SoftwareUpdate(kOwner), 1);
    const auto states = LinesStarting("CMD 6");
    ASSERT_EQ(states.size(), 1U);
    EXPECT_TRUE(StartsWith(states[0], "CMD 6 SetApplicationActive state=2"));
}

TEST_F(UpdateTest, TheCounterWrapsAsASixteenBitNumberAndNeverWrittenCountsAsZero) {
    sim_.SetVariable(62, -1);
    ASSERT_EQ(SoftwareUpdate(kOwner), 1);
    EXPECT_EQ(sim_.Variable(62), 1);
    sim_.SetVariable(62, static_cast<int16_t>(0xFFFE));
    scripted::Reset();
    scripted::SetDefaultAnswer(kIdYes);
    ASSERT_EQ(SoftwareUpdate(kOwner), 1);
    EXPECT_EQ(static_cast<uint16_t>(sim_.Variable(62)), 0xFFFF);
    sim_.InjectKennung(62, 0);
    ASSERT_EQ(SoftwareUpdate(kOwner), 1);
    EXPECT_EQ(sim_.Variable(62), 1) << "a failed read counts as 0";
}

TEST_F(UpdateTest, AnUpdateStartedFromInsideAnUpdateTouchesNothing) {
    bool queued = false;
    int innerResult = -1;
    std::string aboutDuringUpdate;
    // The first message that the download dispatches starts a second update and asks the
    // About text, as a window procedure could.
    sim_.InjectSlowErase(50);
    scripted::QueueMessage([&] {
        queued = true;
        innerResult = SoftwareUpdate(kOwner);
        char text[1024];
        BuildAboutText(kOwner, text, kAboutTextCapacity);
        aboutDuringUpdate = text;
    });
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Succeeded);
    ASSERT_TRUE(queued);
    EXPECT_EQ(innerResult, 0);
    EXPECT_EQ(aboutDuringUpdate.find("Serial"), std::string::npos);
    EXPECT_NE(aboutDuringUpdate.find("unknown or none available"), std::string::npos);
    // The inner calls sent nothing of their own: the exchange is the plain one.
    EXPECT_EQ(LinesStarting("CMD 8").size(), 2U);
    EXPECT_EQ(LinesStarting("CMD 4 ReadVariable id=2398").size(), 1U);
    EXPECT_EQ(sim_.ApplicationState(), 2);
}

// A fault of the download phase, the exchange it must cut short, and the box it adds.
struct DownloadFault {
    const char* name;
    // blocks: of the image the fault is aimed at.
    void (*inject)(tq8sim::Simulator& sim, uint32_t blocks);
    // Armed while the program image is sent, so it takes the text image's download.
    bool aimedAtTexts;
    UpdateOutcome outcome;
};

void PrintTo(const DownloadFault& fault, std::ostream* out) {
    *out << fault.name;
}

class DownloadFaults : public UpdateTest, public ::testing::WithParamInterface<DownloadFault> {};

TEST_P(DownloadFaults, EndAtNineSixHundredInStateOneWithTheRecordAndTheNextRunSucceeds) {
    const DownloadFault& fault = GetParam();
    sim_.SetVariable(62, 10);
    if (fault.aimedAtTexts) {
        const uint32_t blocks = Facts("TQ8-TEXT.MOT").size / 32;
        // Armed once the program's blocks flow, the fault takes the next download.
        WhenBlocksFlow([this, &fault, blocks] { fault.inject(sim_, blocks); });
    } else {
        fault.inject(sim_, Facts("TQ8-PROG.MOT").size / 32);
    }
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), fault.outcome);
    const platform::LocalDate today = platform::Today();

    const auto captions = Captions();
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.back(), "Download Failed!");
    EXPECT_EQ(scripted::Boxes().back().text,
              "It was not possible to download the new software to the machine!");
    if (fault.outcome == UpdateOutcome::DownloadFailed) {
        const size_t starts = LinesStarting("DL start").size() + LinesStarting("NAK cmd=7").size() +
                              LinesStarting("SILENT cmd=7").size();
        EXPECT_EQ(starts, fault.aimedAtTexts ? 2U : 1U);
        EXPECT_TRUE(LinesStarting("CHECKSUM").empty());
    } else {
        // All three areas are asked, also after one went unanswered.
        EXPECT_EQ(LinesStarting("CHECKSUM").size() + LinesStarting("SILENT cmd=10").size(), 3U);
    }
    const auto rates = LinesStarting("RATE");
    ASSERT_EQ(rates.size(), 2U);
    EXPECT_TRUE(StartsWith(rates[1], "RATE 9600"));
    const auto states = LinesStarting("CMD 6");
    ASSERT_FALSE(states.empty());
    EXPECT_TRUE(StartsWith(states.back(), "CMD 6 SetApplicationActive state=1"));
    EXPECT_EQ(sim_.ApplicationState(), 1);
    EXPECT_EQ(sim_.LineRate(), 9600U);
    EXPECT_EQ(sim_.Variable(62), 11);
    EXPECT_EQ(sim_.Variable(61), today.year);
    EXPECT_EQ(sim_.Variable(60), DayMonth(today));
    EXPECT_EQ(pProtokoll, nullptr);

    sim_.ClearFaults();
    ClearTranscriptWhenSettled();
    scripted::Reset();
    scripted::SetDefaultAnswer(kIdYes);
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Succeeded);
    EXPECT_EQ(sim_.Variable(62), 12);
    EXPECT_EQ(sim_.ApplicationState(), 2);
}

using Sim = tq8sim::Simulator;
constexpr auto kFailed = UpdateOutcome::DownloadFailed;
constexpr auto kChecksum = UpdateOutcome::ChecksumFailed;

const DownloadFault kBlockFaults[] = {
    {"FirstBlockUnanswered", [](Sim& sim, uint32_t) { sim.InjectBlockNoAck(0); }, false, kFailed},
    {"MiddleBlockUnanswered", [](Sim& sim, uint32_t n) { sim.InjectBlockNoAck(n / 2); }, false,
     kFailed},
    {"LastBlockUnanswered", [](Sim& sim, uint32_t n) { sim.InjectBlockNoAck(n - 1); }, false,
     kFailed},
    {"MiddleBlockNaked", [](Sim& sim, uint32_t n) { sim.InjectBlockWrongByte(n / 2, 0x15); }, false,
     kFailed},
    {"TrailerNaked", [](Sim& sim, uint32_t) { sim.InjectTrailerNak(); }, false, kFailed},
    {"EraseRefused", [](Sim& sim, uint32_t) { sim.InjectNak(7, 1); }, false, kFailed},
    {"EraseUnanswered", [](Sim& sim, uint32_t) { sim.InjectSilence(7, 1); }, false, kFailed},
    {"TextFirstBlockUnanswered", [](Sim& sim, uint32_t) { sim.InjectBlockNoAck(0); }, true,
     kFailed},
    {"TextMiddleBlockUnanswered", [](Sim& sim, uint32_t n) { sim.InjectBlockNoAck(n / 2); }, true,
     kFailed},
    {"TextLastBlockUnanswered", [](Sim& sim, uint32_t n) { sim.InjectBlockNoAck(n - 1); }, true,
     kFailed},
    {"TextTrailerNaked", [](Sim& sim, uint32_t) { sim.InjectTrailerNak(); }, true, kFailed},
    {"TextEraseRefused", [](Sim& sim, uint32_t) { sim.InjectNak(7, 1); }, true, kFailed},
    {"TextEraseUnanswered", [](Sim& sim, uint32_t) { sim.InjectSilence(7, 1); }, true, kFailed},
};

const DownloadFault kLineAndChecksumFaults[] = {
    {"BootloaderChecksumDiffers", [](Sim& sim, uint32_t) { sim.InjectChecksumMismatch(0); }, false,
     kChecksum},
    {"ApplicationChecksumDiffers", [](Sim& sim, uint32_t) { sim.InjectChecksumMismatch(1); }, false,
     kChecksum},
    {"TextChecksumDiffers", [](Sim& sim, uint32_t) { sim.InjectChecksumMismatch(2); }, false,
     kChecksum},
    {"ChecksumQueryUnanswered", [](Sim& sim, uint32_t) { sim.InjectSilence(10, 1); }, false,
     kChecksum},
};

std::string FaultName(const ::testing::TestParamInfo<DownloadFault>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Blocks, DownloadFaults, ::testing::ValuesIn(kBlockFaults), FaultName);
INSTANTIATE_TEST_SUITE_P(LineAndChecksums, DownloadFaults,
                         ::testing::ValuesIn(kLineAndChecksumFaults), FaultName);

TEST_F(UpdateTest, MismatchesInTwoAreasGiveOneBoxEachThenTheFailure) {
    sim_.InjectChecksumMismatch(0);
    sim_.InjectChecksumMismatch(2);
    ASSERT_EQ(SoftwareUpdate(kOwner), 1);
    EXPECT_EQ(LinesStarting("CHECKSUM").size(), 3U);
    const auto captions = Captions();
    ASSERT_EQ(captions.size(), 5U);
    EXPECT_EQ(captions[2], "Checksum failure (Bootloader)!");
    EXPECT_EQ(captions[3], "Checksum failure (Display-Texts)!");
    EXPECT_EQ(captions[4], "Download Failed!");
    EXPECT_TRUE(StartsWith(scripted::Boxes()[2].text, "The calculated checksum does not match"));
}

TEST_F(UpdateTest, TheReportNamesTheTextBlockThatWasNotAcknowledged) {
    const uint32_t blocks = Facts("TQ8-TEXT.MOT").size / 32;
    WhenBlocksFlow([this, blocks] { sim_.InjectBlockNoAck(blocks / 2); });
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::DownloadFailed);
    EXPECT_EQ(report_.failure.step, UpdateStep::Block);
    EXPECT_EQ(report_.failure.image, 1);
    EXPECT_EQ(report_.failure.block, blocks / 2);
    ASSERT_EQ(report_.images.size(), 2U);
    EXPECT_TRUE(report_.images[0].trailerSum.has_value());
    EXPECT_FALSE(report_.images[1].trailerSum.has_value());
    EXPECT_TRUE(report_.checksums.empty());
    EXPECT_EQ(report_.updateCounter, 1);
}

TEST_F(UpdateTest, AStopRequestedDuringTheDownloadTakesTheFailurePath) {
    // A message dispatched between blocks stands for the operator's Ctrl-C.
    WhenBlocksFlow([] { platform::RequestStop(); });
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Interrupted);
    EXPECT_LE(LinesStarting("BLOCK").size(), 3U);
    EXPECT_TRUE(LinesStarting("TRAILER").empty());
    EXPECT_EQ(sim_.LineRate(), 9600U);
    EXPECT_EQ(sim_.ApplicationState(), 1);
    EXPECT_EQ(LinesStarting("CMD 5 WriteVariable id=62").size(), 1U);
    EXPECT_EQ(trace_.Count("{cr}*RawDownload: stopped by the operator"), 1U);
    // The machine took the failure path's commands as commands: the next run reaches it.
    platform::ClearStop();
    scripted::Reset();
    scripted::SetDefaultAnswer(kIdYes);
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Succeeded);
}

TEST_F(UpdateTest, AMachineThatVanishesMidwayEndsTheUpdateWithTheFailureBox) {
    sim_.InjectVanishAfterBlock(40);
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::DownloadFailed);
    EXPECT_TRUE(sim_.Vanished());
    EXPECT_EQ(Captions().back(), "Download Failed!");
    EXPECT_EQ(pProtokoll, nullptr);
    EXPECT_EQ(trace_.Count("{cr}*RawDownload: Send data failed!"), 1U);
}

TEST_F(UpdateTest, AMachineThatRefusesTheFastRateIsUpdatedAtNineSixHundred) {
    // The switch's result is not tested: both sides stay at 9600 and the exchange goes on.
    sim_.InjectRateRefusal();
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Succeeded);
    const auto rates = LinesStarting("RATE");
    ASSERT_EQ(rates.size(), 2U);
    EXPECT_EQ(rates[0], "RATE 38400 -> NAK");
    EXPECT_EQ(sim_.LineRate(), 9600U);
    EXPECT_EQ(sim_.ApplicationState(), 2);
}

TEST_F(UpdateTest, FilesWithLineFeedsAloneSendTheSameImagesAsWithCrLf) {
    ASSERT_EQ(SoftwareUpdate(kOwner), 1);
    const auto withCrLf = LinesStarting("TRAILER");
    const auto startsCrLf = LinesStarting("DL start");
    for (const char* name : {"TQ8-PROG.MOT", "TQ8-TEXT.MOT"}) {
        std::string text = ReadFile(name);
        ASSERT_NE(text.find("\r\n"), std::string::npos);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        WriteFile(name, text);
    }
    ClearTranscriptWhenSettled();
    scripted::Reset();
    scripted::SetDefaultAnswer(kIdYes);
    EXPECT_EQ(PerformSoftwareUpdate(kOwner, report_), UpdateOutcome::Succeeded);
    EXPECT_EQ(LinesStarting("TRAILER"), withCrLf);
    EXPECT_EQ(LinesStarting("DL start"), startsCrLf);
}
