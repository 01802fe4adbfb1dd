#include "log_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/process.h"

namespace {

std::atomic<unsigned> gSerial{0};

}  // namespace

TestLog::TestLog() {
    // Cases of one program may run at once natively: the name must be unique across
    // processes, not just inside this one.
    std::random_device random;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info != nullptr ? info->name() : "log";
    path_ = (std::filesystem::temp_directory_path() /
             ("vldebug-" + name + "-" + std::to_string(random()) + "-" + std::to_string(gSerial++) +
              ".log"))
                .string();
    std::filesystem::remove(path_);
    EXPECT_TRUE(platform::SetEnvironment("VLDEBUG_LOG", path_));
    // Keep the terminal quiet when a case is run by hand.
    platform::SetEnvironment("VLDEBUG_STDERR", "0");
}

TestLog::~TestLog() {
    platform::SetEnvironment("VLDEBUG_LOG", "");
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

std::vector<std::string> TestLog::Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<bool> BoundSlots(const debug_slots::Slots& fallbacks) {
    const debug_slots::Slots& now = CurrentDebugSlots();
    return {now.outputSource != fallbacks.outputSource,
            now.outputSourceNoParam != fallbacks.outputSourceNoParam,
            now.outputConst != fallbacks.outputConst,
            now.hexDump != fallbacks.hexDump,
            now.hexDumpStartAddress != fallbacks.hexDumpStartAddress,
            now.remoteDebuggingEnable != fallbacks.remoteDebuggingEnable};
}

debug_slots::Slots FallbackSlots() {
    FreeDebugLibrary();
    return CurrentDebugSlots();
}
