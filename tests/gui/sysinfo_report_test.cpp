#include <gtest/gtest.h>

#include "sysinfo_report.h"

namespace {

TEST(SysInfoReport, FieldsOfAConnection) {
    EXPECT_EQ(SplitFields("|COM2|Kovra TQ VIII (9600 bps; 8 N 1)|"),
              (std::vector<std::string>{"COM2", "Kovra TQ VIII (9600 bps; 8 N 1)"}));
    EXPECT_TRUE(SplitFields("|").empty());
    EXPECT_TRUE(SplitFields(nullptr).empty());
    EXPECT_EQ(SplitFields("a||b"), (std::vector<std::string>{"a", "b"}));
}

TEST(SysInfoReport, ListsFieldsAndFacts) {
    PcFacts facts;
    facts.windowsVersion = "10.0 (build 19045)";
    facts.totalMemoryMiB = 8192;
    facts.freeMemoryMiB = 4000;
    facts.comPorts = {"COM1", "COM3"};
    const std::string report = SysInfoReport("|COM3|Kovra TQ VIII (9600 bps; 8 N 1)|", facts);
    EXPECT_EQ(report,
              "Connection:\r\n    COM3\r\n    Kovra TQ VIII (9600 bps; 8 N 1)\r\n\r\n"
              "Windows: 10.0 (build 19045)\r\nMemory: 8192 MB, 4000 MB free\r\n"
              "COM ports: COM1, COM3\r\n");
}

TEST(SysInfoReport, WithoutConnectionOrPorts) {
    const std::string report = SysInfoReport("|", PcFacts{});
    EXPECT_NE(report.find("Connection:\r\n    none\r\n"), std::string::npos);
    EXPECT_NE(report.find("Windows: unknown"), std::string::npos);
    EXPECT_NE(report.find("COM ports: none"), std::string::npos);
}

}  // namespace
