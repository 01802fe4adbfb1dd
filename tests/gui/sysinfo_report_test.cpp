#include <gtest/gtest.h>

#include <string>

#include "sysinfo_report.h"

namespace {

std::string Report(const char* fields, const PcFacts& facts, int size = 1024) {
    std::string out(static_cast<size_t>(size), 'x');
    const int length = SysInfoReport(fields, facts, out.data(), size);
    EXPECT_EQ(static_cast<size_t>(length), std::string(out.c_str()).size());
    return out.c_str();
}

TEST(SysInfoReport, ListsFieldsAndFacts) {
    PcFacts facts;
    facts.windowsMajor = 10;
    facts.windowsBuild = 19045;
    facts.totalMemoryMiB = 8192;
    facts.freeMemoryMiB = 4000;
    facts.comPorts[0] = 1;
    facts.comPorts[1] = 13;
    facts.comPortCount = 2;
    EXPECT_EQ(Report("|COM3|Kovra TQ VIII (9600 bps; 8 N 1)|", facts),
              "Connection:\r\n    COM3\r\n    Kovra TQ VIII (9600 bps; 8 N 1)\r\n\r\n"
              "Windows: 10.0 (build 19045)\r\nMemory: 8192 MB, 4000 MB free\r\n"
              "COM ports: COM1, COM13\r\n");
}

TEST(SysInfoReport, EmptyFieldsAndNoConnection) {
    const std::string none = Report("|", PcFacts{});
    EXPECT_EQ(none.rfind("Connection:\r\n    none\r\n\r\n", 0), 0U);
    EXPECT_NE(none.find("Windows: unknown"), std::string::npos);
    EXPECT_NE(none.find("Memory: 0 MB, 0 MB free"), std::string::npos);
    EXPECT_NE(none.find("COM ports: none"), std::string::npos);
    EXPECT_EQ(Report(nullptr, PcFacts{}), none);
    // Empty fields between bars leave no blank lines; a last field needs no bar.
    EXPECT_EQ(Report("a||b", PcFacts{}).rfind("Connection:\r\n    a\r\n    b\r\n\r\n", 0), 0U);
}

TEST(SysInfoReport, CutToTheBuffer) {
    EXPECT_EQ(Report("|COM3|", PcFacts{}, 16), "Connection:\r\n  ");
    EXPECT_EQ(Report("|COM3|", PcFacts{}, 1), "");
    char untouched = 'x';
    EXPECT_EQ(SysInfoReport("|", PcFacts{}, &untouched, 0), 0);
    EXPECT_EQ(untouched, 'x');
}

}  // namespace
