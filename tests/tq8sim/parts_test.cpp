// The simulator's inner parts on their own: flash, faults, state text, command line.
#include <gtest/gtest.h>

#include "cli_options.h"
#include "faults.h"
#include "flash_memory.h"
#include "line.h"
#include "machine_state.h"
#include "option_values.h"

namespace tq8sim {
namespace {

TEST(Flash, ProgrammingAndsBitsAndEraseSetsThemAgain) {
    FlashMemory flash;
    const uint8_t high[] = {0xF0, 0xFF};
    const uint8_t low[] = {0x3F, 0x0F};
    ASSERT_TRUE(flash.Program(0x4000, high));
    ASSERT_TRUE(flash.Program(0x4000, low));
    EXPECT_EQ(flash.Read(0x4000, 3), (std::vector<uint8_t>{0x30, 0x0F, 0xFF}));
    ASSERT_TRUE(flash.Erase(0x4000, 0x4000));
    EXPECT_EQ(flash.Read(0x4000, 2), (std::vector<uint8_t>{0xFF, 0x0F}));
}

TEST(Flash, BootloaderAndOutsideAreOutOfReach) {
    FlashMemory flash;
    const auto boot = flash.Read(0, 0x4000);
    const uint8_t zero[32] = {};
    EXPECT_FALSE(flash.Erase(0x3FE0, 0x401F));
    EXPECT_FALSE(flash.Program(0x3FFF, std::span<const uint8_t>(zero, 2)));
    EXPECT_FALSE(flash.Program(kMemorySize - 1, std::span<const uint8_t>(zero, 2)));
    EXPECT_FALSE(flash.Erase(kTextEnd, kTextEnd + 1));
    EXPECT_EQ(flash.Read(0, 0x4000), boot);
    EXPECT_EQ(flash.Read(0x4000, 1), std::vector<uint8_t>{0xFF});
    EXPECT_EQ(flash.Read(kTextEnd, 2), (std::vector<uint8_t>{0xFF, 0xFF})) << "beyond reads 0xFF";
}

TEST(Flash, BootloaderContentIsTheSameInEveryInstance) {
    EXPECT_EQ(FlashMemory().Report(0).calculated, FlashMemory().Report(0).calculated);
}

TEST(Flash, AreasAndRangeVerdicts) {
    EXPECT_EQ(FlashMemory::AreaOf(0x3FFF), 0);
    EXPECT_EQ(FlashMemory::AreaOf(0x4000), 1);
    EXPECT_EQ(FlashMemory::AreaOf(0x7FFFF), 1);
    EXPECT_EQ(FlashMemory::AreaOf(0x80000), 2);
    EXPECT_EQ(FlashMemory::AreaOf(0xA0000), -1);
    EXPECT_EQ(FlashMemory::CheckDownloadRange(0x4000, 0x7FFFF), RangeVerdict::kOk);
    EXPECT_EQ(FlashMemory::CheckDownloadRange(0x80000, 0x9FFFF), RangeVerdict::kOk);
    EXPECT_EQ(FlashMemory::CheckDownloadRange(0xFFFFFFE0, 0xFFFFFFFF), RangeVerdict::kOutsideMap);
    EXPECT_EQ(FlashMemory::CheckDownloadRange(0, 0xFFFFFFFF), RangeVerdict::kOutsideMap);
}

TEST(Flash, ReportFollowsTheLastAcceptedDownload) {
    FlashMemory flash;
    const std::vector<uint8_t> data(64, 2);
    flash.Erase(0x4000, 0x403F);
    flash.Program(0x4000, data);
    flash.RecordAccepted(0x4000, 0x403F, 128);
    EXPECT_EQ(flash.Report(1).start, 0x4000u);
    EXPECT_EQ(flash.Report(1).end, 0x403Fu);
    EXPECT_EQ(flash.Report(1).saved, 128u);
    EXPECT_EQ(flash.Report(1).calculated, 128u);
    // Erased afterwards without a new accepted download: the calculated sum follows flash.
    flash.Erase(0x4000, 0x401F);
    EXPECT_EQ(flash.Report(1).calculated, 32u * 0xFF + 64);
    EXPECT_EQ(flash.Report(2).saved, 0u);
}

TEST(FaultSet, CountsRunOutAndDownloadFaultsAreTakenOnce) {
    Faults faults;
    faults.SetCommand(4, {CommandFault::Kind::kNak, 0, 2});
    EXPECT_TRUE(faults.TakeCommand(4));
    EXPECT_TRUE(faults.TakeCommand(4));
    EXPECT_FALSE(faults.TakeCommand(4));
    faults.SetCommand(5, {CommandFault::Kind::kSilence, 0, -1});
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(faults.TakeCommand(5));
    }
    faults.SetCommand(5, {CommandFault::Kind::kSilence, 0, 0});
    EXPECT_FALSE(faults.TakeCommand(5)) << "count 0 clears";

    faults.PlanDownload(0).noAckBlock = 3;
    faults.PlanDownload(0).trailerNak = true;
    faults.PlanDownload(3).erase = DownloadFaults::Erase::kNak;
    const DownloadFaults taken = faults.TakeDownload();
    EXPECT_EQ(taken.noAckBlock, 3u);
    EXPECT_TRUE(taken.trailerNak);
    EXPECT_EQ(taken.erase, DownloadFaults::Erase::kAck);
    const DownloadFaults second = faults.TakeDownload();
    EXPECT_FALSE(second.noAckBlock);
    EXPECT_FALSE(second.trailerNak);
    faults.PlanDownload(1).trailerNak = true;  // too late: the first download has been
    faults.Clear();
    faults.PlanDownload(0).slowEraseMs = 7;  // the next is still the third, after Clear
    const DownloadFaults third = faults.TakeDownload();
    EXPECT_EQ(third.erase, DownloadFaults::Erase::kAck) << "cleared with the rest";
    EXPECT_EQ(third.slowEraseMs, 7u);
    EXPECT_EQ(faults.DownloadsStarted(), 3u);
    EXPECT_FALSE(faults.TakeDownload().trailerNak);

    faults.AddStray({1});
    faults.AddStray({2});
    EXPECT_EQ(faults.TakeStray(), (std::vector<uint8_t>{1, 2}));
    EXPECT_TRUE(faults.TakeStray().empty());
}

TEST(StateText, RoundTripsAndSkipsDamagedLines) {
    MachineState state("");
    EXPECT_EQ(state.Variable(0), 102);
    EXPECT_EQ(state.Variable(62), -1);
    EXPECT_FALSE(state.Variable(1));
    state.SetVariable(62, 7);
    state.SetApplicationState(1);
    MachineState copy("");
    EXPECT_TRUE(copy.Parse(state.Serialize()));
    EXPECT_EQ(copy.Variable(62), 7);
    EXPECT_EQ(copy.ApplicationState(), 1);

    MachineState damaged("");
    EXPECT_FALSE(
        damaged.Parse("application_state=300\nvariable.62=65535\nvariable.x=1\nvariable.61=70000\n"
                      "variable.60 = 0x0C18\n"));
    EXPECT_EQ(damaged.ApplicationState(), kDefaultApplicationState);
    EXPECT_EQ(damaged.Variable(62), -1);
    EXPECT_EQ(damaged.Variable(61), -1);
    EXPECT_EQ(damaged.Variable(60), 0x0C18);
    EXPECT_NE(damaged.LastError().find("line 4"), std::string::npos);
}

TEST(Line, GarbledBytesAreNeverControlBytes) {
    for (int byte = 0; byte < 256; ++byte) {
        const uint8_t garbled = GarbleByte(static_cast<uint8_t>(byte));
        EXPECT_GE(garbled, 0x80);
    }
    EXPECT_TRUE(IsSupportedRate(38400));
    EXPECT_FALSE(IsSupportedRate(38401));
}

struct GoodArgs {
    std::vector<std::string> args;
    std::function<bool(const ProgramConfig&)> check;
};

TEST(CommandLine, ParsesEveryOption) {
    const std::vector<GoodArgs> table = {
        {{"--device", "/dev/ttyS1", "--pace", "--rate", "38400"},
         [](const auto& c) {
             return c.device == "/dev/ttyS1" && c.options.pace && c.options.rate == 38400;
         }},
        {{"--state", "s", "--transcript", "t", "--link", "l", "-v"},
         [](const auto& c) {
             return c.options.stateFile == "s" && c.options.transcriptFile == "t" &&
                    c.link == "l" && c.options.transcriptToStderr;
         }},
        {{"--erase-ms-per-kib", "3", "--program-us-per-block", "0x10", "--gap-ms", "50"},
         [](const auto& c) {
             return c.options.eraseMsPerKiB == 3 && c.options.programUsPerBlock == 16 &&
                    c.options.downloadGapMs == 50;
         }},
        {{"--nak", "4:2"},
         [](const auto& c) {
             return c.faults.size() == 1 && c.faults[0].kind == FaultSpec::Kind::kNak &&
                    c.faults[0].first == 4 && c.faults[0].count == 2;
         }},
        {{"--silent", "ReadVariable"},
         [](const auto& c) { return c.faults[0].first == 4 && c.faults[0].count == -1; }},
        {{"--wrong-byte", "devtype=0x42:1"},
         [](const auto& c) {
             return c.faults[0].first == kDeviceTypeCommand && c.faults[0].second == 0x42 &&
                    c.faults[0].count == 1;
         }},
        {{"--kennung", "2398=3"},
         [](const auto& c) { return c.faults[0].first == 2398 && c.faults[0].second == 3; }},
        {{"--block-byte", "5=0x15", "--block-noack", "7", "--vanish-after", "9"},
         [](const auto& c) {
             return c.faults.size() == 3 && c.faults[0].first == 5 && c.faults[0].second == 0x15 &&
                    c.faults[1].kind == FaultSpec::Kind::kBlockNoAck && c.faults[1].first == 7 &&
                    c.faults[2].kind == FaultSpec::Kind::kVanishAfter && c.faults[2].first == 9;
         }},
        {{"--trailer-nak", "--refuse-rate", "--checksum-mismatch", "2", "--slow-erase", "11000"},
         [](const auto& c) {
             return c.faults.size() == 4 && c.faults[2].first == 2 && c.faults[3].first == 11000;
         }},
        {{"--stray", "41 42"},
         [](const auto& c) {
             return c.faults[0].bytes == std::vector<uint8_t>{0x41, 0x42};
         }},
        {{"--var", "62=-1", "--var", "2384=40000", "--app-state", "0"},
         [](const auto& c) {
             return c.variables.size() == 2 && c.variables[0].second == -1 &&
                    static_cast<uint16_t>(c.variables[1].second) == 40000 &&
                    c.applicationState == 0;
         }},
        {{"--help"}, [](const auto& c) { return c.help; }},
        {{"--trailer-nak", "--in-download", "2", "--trailer-nak"},
         [](const auto& c) {
             return c.faults.size() == 2 && c.faults[0].download == 0 && c.faults[1].download == 2;
         }},
        {{"--trailer-nak", "--slow-erase", "5", "--in-download", "2", "--erase-nak", "--block-byte",
          "3=0x42", "--nak", "7", "--slow-erase", "9", "--in-download", "1", "--erase-silent"},
         [](const auto& c) {
             const auto& f = c.faults;
             return f.size() == 7 && f[0].download == 0 && f[1].download == 0 &&
                    f[2].kind == FaultSpec::Kind::kEraseNak && f[2].download == 2 &&
                    f[3].kind == FaultSpec::Kind::kBlockByte && f[3].download == 2 &&
                    f[4].kind == FaultSpec::Kind::kNak &&
                    f[5].kind == FaultSpec::Kind::kSlowErase && f[5].download == 2 &&
                    f[6].kind == FaultSpec::Kind::kEraseSilent && f[6].download == 1;
         }},
    };
    for (const GoodArgs& row : table) {
        ProgramConfig config;
        std::string error;
        SCOPED_TRACE(row.args.front());
        ASSERT_TRUE(ParseCommandLine(row.args, &config, &error)) << error;
        EXPECT_TRUE(row.check(config));
    }
}

TEST(CommandLine, RefusesBadArguments) {
    const std::vector<std::vector<std::string>> table = {{"--bogus"},
                                                         {"positional"},
                                                         {"--nak"},
                                                         {"--nak", "frob"},
                                                         {"--nak", "4:0"},
                                                         {"--nak", "4:x"},
                                                         {"--rate", "12345"},
                                                         {"--rate", "-9600"},
                                                         {"--kennung", "2398"},
                                                         {"--block-byte", "1=256"},
                                                         {"--checksum-mismatch", "3"},
                                                         {"--stray", "zz"},
                                                         {"--var", "62"},
                                                         {"--var", "62=70000"},
                                                         {"--app-state", "256"},
                                                         {"--gap-ms", "0"},
                                                         {"--wrong-byte", "4"},
                                                         {"--slow-erase", "1e3"},
                                                         {"--in-download", "0"},
                                                         {"--in-download"},
                                                         {"--erase-nak", "2"}};
    for (const auto& args : table) {
        ProgramConfig config;
        std::string error;
        SCOPED_TRACE(args.back());
        EXPECT_FALSE(ParseCommandLine(args, &config, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(CommandLine, HexBytesInSeveralSpellings) {
    EXPECT_EQ(ParseHexBytes("4142"), (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_EQ(ParseHexBytes("0x41,0x42"), (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_EQ(ParseHexBytes("6 15"), (std::vector<uint8_t>{0x06, 0x15}));
    EXPECT_FALSE(ParseHexBytes(""));
    EXPECT_FALSE(ParseHexBytes("4g"));
}

TEST(CommandLine, HelpDocumentsTheOwnChoices) {
    const std::string help = HelpText();
    for (const char* topic :
         {"--gap-ms", "--erase-ms-per-kib", "--program-us-per-block", "NAK for any", "ignored",
          "2398 = 4711", "kennung 3", "--vanish-after"}) {
        EXPECT_NE(help.find(topic), std::string::npos) << topic;
    }
}

}  // namespace
}  // namespace tq8sim
