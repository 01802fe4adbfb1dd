// The version overview, the About and system-information texts, and the raw download's
// own edges, each against the simulated machine.

#include <gtest/gtest.h>

#include <cstring>

#include "image/file_obj.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "update/machine_info.h"
#include "update/raw_download.h"
#include "update/software_update.h"
#include "update_fixture.h"

namespace {

class MachineTexts : public UpdateTest {
  protected:
    std::string About() {
        char text[1024];
        std::memset(text, 'x', sizeof text);
        BuildAboutText(kOwner, text, kAboutTextCapacity);
        return text;
    }
    std::string Overview(FileObj* file) {
        char text[1024];
        BuildVersionOverview(file, text, kOverviewCapacity);
        return text;
    }
    bool OpenProgram(FileObj& file) {
        const std::string path = bundle_ + "/TQ8-PROG.MOT";
        return file.fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                          platform::kOpenExisting, platform::kFileAttributeNormal, 0) == 1;
    }
};

}  // namespace

TEST_F(MachineTexts, TheOverviewComposesTheMachineVersionFromItsTwoVariables) {
    ASSERT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 1), 1);
    FileObj file;
    ASSERT_TRUE(OpenProgram(file));
    EXPECT_EQ(
        Overview(&file),
        "Software-version maschine:  1.02.5\r\nSoftware-version file:             1.03.7\r\n");
    sim_.SetVariable(0, 7);
    sim_.SetVariable(2384, static_cast<int16_t>(40000));
    EXPECT_EQ(Overview(nullptr),
              "Software-version maschine:  0.07.40000\r\n"
              "Software-version file:            unknown or none available\r\n\r\n");
    nLanguageOffset = 1000;
    EXPECT_EQ(Overview(&file),
              "Softwareversion Maschine:  0.07.40000\r\n"
              "Softwareversion Datei:         1.03.7\r\n");
    nLanguageOffset = 0;
}

TEST_F(MachineTexts, AMachineVersionThatCannotBeReadIsUnknownAndLeavesAnEmptyLine) {
    FileObj file;
    ASSERT_TRUE(OpenProgram(file));
    // No connection.
    EXPECT_EQ(Overview(&file),
              "Software-version maschine: unknown or none available\r\n\r\n"
              "Software-version file:             1.03.7\r\n");
    ASSERT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 1), 1);
    sim_.InjectKennung(2384, 0);
    EXPECT_EQ(Overview(&file).rfind("Software-version maschine: unknown", 0), 0U);
}

TEST_F(MachineTexts, AFailedReadOfTheVersionStillAsksTheBuild) {
    ASSERT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 1), 1);
    sim_.InjectKennung(0, 0);
    EXPECT_EQ(Overview(nullptr).rfind("Software-version maschine: unknown", 0), 0U);
    WaitForTranscriptToSettle();
    EXPECT_EQ(LinesStarting("CMD 4 ReadVariable id=2384").size(), 1U);
}

TEST_F(MachineTexts, TheOverviewNeverPassesItsCapacity) {
    char text[40];
    std::memset(text, 'x', sizeof text);
    BuildVersionOverview(nullptr, text, 20);
    EXPECT_EQ(std::strlen(text), 19U);
    EXPECT_EQ(text[20], 'x');
}

TEST_F(MachineTexts, TheAboutTextConnectsAndShowsSerialCountAndDate) {
    sim_.SetVariable(2398, static_cast<int16_t>(0x8001));
    sim_.SetVariable(62, 3);
    sim_.SetVariable(60, 3078);
    sim_.SetVariable(61, 2026);
    const std::string about = About();
    EXPECT_EQ(about,
              "Software-version maschine:  1.02.5\r\nSoftware-version file:             1.03.7\r\n"
              "Serial number (machine):       -32767\r\n"
              "Updates at all:                       3\r\n"
              "Last update done:                 6/12/2026");
    ASSERT_NE(pProtokoll, nullptr) << "the About box's connection stays open";
    nLanguageOffset = 1000;
    const std::string german = About();
    nLanguageOffset = 0;
    EXPECT_NE(german.find("Letztes Update ausgef\xFChrt:  6.12.2026"), std::string::npos) << german;
    EXPECT_NE(german.find("Seriennummer Maschine:     -32767\r\n"), std::string::npos) << german;
}

TEST_F(MachineTexts, NeverWrittenAndUnreadableRecordsLeaveTheirLinesOut) {
    sim_.SetVariable(62, -1);
    sim_.SetVariable(60, -1);
    std::string about = About();
    EXPECT_NE(about.find("Updates at all:                       0\r\n"), std::string::npos);
    EXPECT_EQ(about.find("Last update"), std::string::npos);

    sim_.InjectKennung(2398, 0);
    sim_.InjectKennung(62, 0);
    about = About();
    EXPECT_EQ(about.find("Serial"), std::string::npos);
    EXPECT_EQ(about.find("Updates"), std::string::npos);
}

TEST_F(MachineTexts, AFailedReadOfTheLastUpdatesDayStillAsksItsYear) {
    sim_.InjectKennung(60, 0);
    EXPECT_EQ(About().find("Last update"), std::string::npos);
    WaitForTranscriptToSettle();
    EXPECT_EQ(LinesStarting("CMD 4 ReadVariable id=61").size(), 1U);
}

TEST_F(MachineTexts, WithoutASelectedPortTheAboutTextNeedsNoMachine) {
    nInterface = -1;
    RemoveFile("TQ8-PROG.MOT");
    EXPECT_EQ(About(),
              "Software-version maschine: unknown or none available\r\n\r\n"
              "Software-version file:            unknown or none available\r\n\r\n");
    EXPECT_TRUE(scripted::Boxes().empty());
    EXPECT_TRUE(sim_.Transcript().empty());
}

TEST_F(MachineTexts, ASilentMachineIsReportedOnceAndTheAboutTextIsReduced) {
    sim_.InjectSilence(8, 1);
    const std::string about = About();
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].caption, "Seraching Interface");
    EXPECT_EQ(about.find("Serial"), std::string::npos);
    EXPECT_EQ(pProtokoll, nullptr);
}

TEST_F(MachineTexts, TheSystemInformationTextDescribesTheOpenLine) {
    char text[kSystemInformationCapacity + 1];
    BuildSystemInformationText(text, sizeof text);
    EXPECT_STREQ(text, "|");
    ASSERT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 1), 1);
    BuildSystemInformationText(text, sizeof text);
    EXPECT_STREQ(text, "|COM3|Kovra TQ VIII (9600 bps; 8 N 1)|");
    pProtokoll->SetBaudRate(kOwner, kMachinePort, 38400);
    BuildSystemInformationText(text, sizeof text);
    EXPECT_STREQ(text, "|COM3|Kovra TQ VIII (38400 bps; 8 N 1)|");
    pProtokoll->SetBaudRate(kOwner, kMachinePort, 9600);
}

TEST_F(MachineTexts, OneBlockIsSentWithATrailerOverExactlyItsBytes) {
    ASSERT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 1), 1);
    uint8_t block[32];
    for (int i = 0; i < 32; ++i) {
        block[i] = static_cast<uint8_t>(0xF0 + i);
    }
    uint8_t xorValue = 0;
    uint32_t sum = 0;
    for (uint8_t byte : block) {
        xorValue ^= byte;
        sum += byte;
    }
    ClearTranscriptWhenSettled();
    EXPECT_EQ(RawDownload(kOwner, block, 0x80000, 32, "one"), 1);
    char trailer[96];
    std::snprintf(trailer, sizeof trailer, "TRAILER xor=0x%02x sum=0x%08x -> ACK", xorValue, sum);
    EXPECT_EQ(Shape(),
              (std::vector<std::string>{"DL start=0x00080000 end=0x0008001f -> ACK erase=0ms",
                                        "BLOCKS 1", trailer}));
    EXPECT_EQ(sim_.ReadMemory(0x80000, 32), std::vector<uint8_t>(block, block + 32));
    const auto calls = scripted::ProgressCalls();
    ASSERT_GE(calls.size(), 6U);
    EXPECT_EQ(calls[1].what, "range 0");
    EXPECT_EQ(trace_.CountPrefix("{cg}*RawDownload; "), 1U);
    EXPECT_EQ(trace_.Count("{cb}RawDownload (Start: 0x00080000; Size = 0x00000020)"), 1U);
}

TEST_F(MachineTexts, ARefusedStartSendsNoBlockAndTheSecondBlockDecides) {
    ASSERT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 1), 1);
    std::vector<uint8_t> image(96, 0xFF);
    sim_.InjectNak(7, 1);
    ClearTranscriptWhenSettled();
    EXPECT_EQ(RawDownload(kOwner, image.data(), 0x80000, 96, "refused"), 0);
    EXPECT_TRUE(LinesStarting("BLOCK").empty());
    EXPECT_EQ(trace_.CountPrefix("{cr}*RawDownload"), 0U);
    EXPECT_EQ(scripted::ProgressCalls().back().what, "close");

    sim_.InjectBlockNoAck(1);
    ClearTranscriptWhenSettled();
    EXPECT_EQ(RawDownload(kOwner, image.data(), 0x80000, 96, "second"), 0);
    EXPECT_EQ(LinesStarting("BLOCK").size(), 2U);
    EXPECT_TRUE(LinesStarting("TRAILER").empty());
    EXPECT_EQ(trace_.Count("{cr}*RawDownload: Send data failed!"), 1U);
    EXPECT_EQ(scripted::ProgressCalls().back().what, "close");
}
