// Appending records: every line stays whole, with several processes at once, on a full
// disk, and after a line without its end; a path that is no regular file is refused.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
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

TEST(RecordFile, FailedAppendLeavesNoPieceAndNextLineStandsAlone) {
    const std::string path = std::filesystem::temp_directory_path() /
                             ("tq8-short-" + std::to_string(::getpid()) + ".jsonl");
    std::ofstream(path) << "{\"left\":\"without its end\"}";
    const auto before = std::filesystem::file_size(path);
    if (::fork() == 0) {
        // The disk is full 10 bytes on: the write stops short.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before + 10, RLIM_INFINITY};
        std::string error;
        std::_Exit(::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                           !AppendRecord(path, "{\"n\":\"0123456789abcdef\"}", error)
                       ? 0
                       : 1);
    }
    int status = 0;
    ::wait(&status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(std::filesystem::file_size(path), before);
    std::string error;
    ASSERT_TRUE(AppendRecord(path, "{\"n\":1}", error)) << error;
    std::ifstream in(path);
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(second, "{\"n\":1}");
    std::filesystem::remove(path);
}

TEST(RecordFile, FifoIsRefusedWithoutWaiting) {
    const std::string path =
        std::filesystem::temp_directory_path() / ("tq8-fifo-" + std::to_string(::getpid()));
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(AppendRecord(path, "{}", error));
    EXPECT_EQ(error, "not a regular file");
    std::filesystem::remove(path);
}
