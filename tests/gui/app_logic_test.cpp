#include <gtest/gtest.h>

#include "app/app_logic.h"

namespace {

constexpr const char* kModule = "C:\\Program Files\\TQ8\\TQ8Flash.exe";
constexpr const char* kToolsModule = "D:\\Tools\\TQ8Flash.exe";

TEST(ProgramDirectory, QuotedAndPlainPathsGiveTheFolder) {
    EXPECT_EQ(ProgramDirectoryFromCommandLine("\"D:\\Tools\\TQ8Flash.exe\"", kModule, 261),
              "D:\\Tools");
    EXPECT_EQ(ProgramDirectoryFromCommandLine("\"D:\\Tools\\TQ8Flash.exe\" -x", kModule, 261),
              "D:\\Tools");
    EXPECT_EQ(ProgramDirectoryFromCommandLine("D:\\Tools\\TQ8Flash.exe", kToolsModule, 261),
              "D:\\Tools");
    EXPECT_EQ(ProgramDirectoryFromCommandLine("d:\\tools\\tq8flash C:\\fw", kToolsModule, 261),
              "d:\\tools");
    // A quoted path with blanks stays whole up to its closing quote.
    EXPECT_EQ(ProgramDirectoryFromCommandLine("\"C:\\My Tools\\TQ8Flash.exe\" D:\\x", kModule, 261),
              "C:\\My Tools");
}

TEST(ProgramDirectory, UnquotedPathWithBlanksStaysWhole) {
    EXPECT_EQ(ProgramDirectoryFromCommandLine(kModule, kModule, 261), "C:\\Program Files\\TQ8");
    EXPECT_EQ(ProgramDirectoryFromCommandLine("C:\\My Tools\\TQ8Flash.exe /x C:\\a b",
                                              "C:\\My Tools\\TQ8Flash.exe", 261),
              "C:\\My Tools");
    // A path that is not the running module's gives the module's folder, not "D:".
    EXPECT_EQ(ProgramDirectoryFromCommandLine("D:\\Other Dir\\x.exe", kModule, 261),
              "C:\\Program Files\\TQ8");
}

TEST(ProgramDirectory, BareNameTakesTheModulesFolder) {
    EXPECT_EQ(ProgramDirectoryFromCommandLine("TQ8Flash.exe", kModule, 261),
              "C:\\Program Files\\TQ8");
    EXPECT_EQ(ProgramDirectoryFromCommandLine("\"TQ8Flash\"", kModule, 261),
              "C:\\Program Files\\TQ8");
    EXPECT_EQ(ProgramDirectoryFromCommandLine("", "", 261), ".");
    // Arguments with backslashes after an unquoted bare name are no directory.
    EXPECT_EQ(ProgramDirectoryFromCommandLine("TQ8Flash C:\\fw", kModule, 261),
              "C:\\Program Files\\TQ8");
}

TEST(ProgramDirectory, CutToTheBuffer) {
    const std::string longPath = "C:\\" + std::string(400, 'a') + "\\TQ8Flash.exe";
    EXPECT_EQ(ProgramDirectoryFromCommandLine(longPath.c_str(), longPath.c_str(), 261).size(),
              260U);
    EXPECT_EQ(ProgramDirectoryFromCommandLine("C:\\x\\y.exe", kModule, 3), "C:");
}

TEST(BitmapAnchor, CentredRightAndCorner) {
    EXPECT_EQ(BitmapTopLeft(200, 100, 101, 51, kAnchorCentre), (Point{150, 75}));
    EXPECT_EQ(BitmapTopLeft(200, 100, 101, 51, kAnchorRight), (Point{99, 100}));
    EXPECT_EQ(BitmapTopLeft(200, 100, 101, 51, 0), (Point{200, 100}));
    EXPECT_EQ(BitmapTopLeft(200, 100, 101, 51, 7), (Point{200, 100}));
}

TEST(StatusBar, PartEnds) {
    EXPECT_EQ(StatusBarPartEnds(200), (std::array<int, 2>{140, 200}));
    EXPECT_EQ(StatusBarPartEnds(70), (std::array<int, 2>{10, 70}));
    EXPECT_EQ(StatusBarPartEnds(20), (std::array<int, 2>{10, 20}));
}

TEST(Clock, PadsTheHourWithABlank) {
    EXPECT_EQ(ClockText(9, 5, 3), "  9:05:03");
    EXPECT_EQ(ClockText(23, 59, 0), " 23:59:00");
}

}  // namespace
