// The line's exit code and what it takes from a child's lines.

#include "cli/line/line_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/line/line_display.h"

namespace {

LineMachine Ended(int code, int signal = 0) {
    LineMachine machine;
    machine.ended = true;
    machine.exit = {code, signal};
    return machine;
}

TEST(LineExitCode, TheWorstOutcomeDecides) {
    EXPECT_EQ(WorstExitCode({Ended(0), Ended(0)}), 0);
    EXPECT_EQ(WorstExitCode({Ended(3), Ended(4), Ended(0)}), 4);
    EXPECT_EQ(WorstExitCode({Ended(4), Ended(6), Ended(5)}), 6);
    EXPECT_EQ(WorstExitCode({Ended(6), Ended(130), Ended(4)}), 130);
    EXPECT_EQ(WorstExitCode({Ended(5), Ended(3)}), 5);
    // A child that a signal ended is a failure, never a success; once told to go, its
    // machine may hold half a program.
    EXPECT_EQ(WorstExitCode({Ended(0), Ended(-1, 9)}), 1);
    LineMachine lost = Ended(-1, 9);
    lost.told = true;
    EXPECT_EQ(WorstExitCode({Ended(4), lost}), 6);
    LineMachine refused = Ended(3);
    refused.refused = true;
    EXPECT_EQ(WorstExitCode({Ended(4), refused}), 7);
}

TEST(LineChildLines, OnlyObjectsAreProtocolLines) {
    LineMachine machine;
    EXPECT_FALSE(ChildLineObject(machine, "42"));
    EXPECT_FALSE(ChildLineObject(machine, "\"Download completed\""));
    EXPECT_TRUE(ChildLineObject(machine, "{\"event\":\"progress\"}"));
    EXPECT_EQ(machine.errors, "42\n\"Download completed\"\n");
}

TEST(LineChildLines, TheSecondDownloadCountsTheFirstWhole) {
    LineMachine machine;
    ApplyChildLine(machine, {{"event", "ready"}, {"serial_number", 4711}, {"bytes", 3072}}, 0);
    const auto progress = [&](const char* image, int done, int total) {
        ApplyChildLine(machine,
                       {{"event", "progress"},
                        {"image", image},
                        {"phase", "download"},
                        {"done", done},
                        {"total", total}},
                       0);
    };
    progress("TQ8-PROG.MOT", 1024, 2048);
    progress("TQ8-TEXT.MOT", 512, 1024);
    EXPECT_EQ(machine.serial, 4711u);
    EXPECT_EQ(machine.Done(), 2048u + 512u);
    EXPECT_TRUE(ApplyChildLine(machine, {{"schema", 1}, {"outcome", "completed"}}, 0));
    EXPECT_EQ(machine.outcome, "completed");
}

// COM9 beside COM10: each column starts at the same place on every machine's line.
TEST(LineDisplay, ColumnsLineUpWhatEverThePortNames) {
    std::vector<LineMachine> machines(2);
    machines[0].port = "COM9";
    machines[1].port = "COM10";
    for (LineMachine& machine : machines) {
        ApplyChildLine(machine, {{"event", "ready"}, {"serial_number", 4711}, {"bytes", 4096}}, 0);
        ApplyChildLine(machine, {{"event", "progress"}, {"phase", "download"}, {"done", 0}}, 0);
    }
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    LiveDisplay(out, false).Draw(machines, 0);
    std::rewind(out);
    char first[256] = {};
    char second[256] = {};
    ASSERT_NE(std::fgets(first, sizeof first, out), nullptr);
    ASSERT_NE(std::fgets(second, sizeof second, out), nullptr);
    std::fclose(out);
    EXPECT_EQ(std::string(first).find("4711"), std::string(second).find("4711")) << first << second;
}

}  // namespace
