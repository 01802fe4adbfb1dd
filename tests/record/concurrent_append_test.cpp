// Records appended by several processes at once: every line stays whole.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "record/record_file.h"

TEST(RecordFile, ConcurrentAppendsNeverInterleave) {
    constexpr int kProcesses = 4;
    constexpr int kLines = 25;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tq8-records-" + std::to_string(::getpid()));
    const std::string path = (folder / "sub" / "updates.jsonl").string();
    for (int p = 0; p < kProcesses; ++p) {
        if (::fork() == 0) {
            // Long lines, so that a line written in pieces would be cut by another's.
            const nlohmann::json line = {{"writer", p}, {"pad", std::string(20000, 'a' + p)}};
            bool ok = true;
            for (int i = 0; i < kLines; ++i) {
                std::string error;
                ok = AppendRecord(path, line.dump(), error) && ok;
            }
            std::_Exit(ok ? 0 : 1);
        }
    }
    for (int p = 0; p < kProcesses; ++p) {
        int status = 0;
        ::wait(&status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::ifstream in(path);
    int counts[kProcesses] = {};
    std::string text;
    while (std::getline(in, text)) {
        const nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
        ASSERT_FALSE(line.is_discarded()) << text.substr(0, 80);
        const int writer = line["writer"].get<int>();
        EXPECT_EQ(line["pad"].get<std::string>(), std::string(20000, 'a' + writer));
        ++counts[writer];
    }
    for (int count : counts) {
        EXPECT_EQ(count, kLines);
    }
    std::filesystem::remove_all(folder);
}
