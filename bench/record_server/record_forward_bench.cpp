// The time that the send to the record server adds to an update: one record appended to
// the record file, then ForwardRecords with the update's time limit, repeated; the median
// and the largest of the sends. The server is whatever the URL names: one that is up, a
// port where nothing listens, or one that takes the connection and never answers.
//
// Usage: record_forward_bench URL FOLDER [RUNS]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "record/record_file.h"
#include "record/record_id.h"
#include "record/record_server.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: record_forward_bench URL FOLDER [RUNS]\n");
        return 2;
    }
    const std::string url = argv[1];
    const std::string journal = std::string(argv[2]) + "/bench.jsonl";
    const int runs = argc > 3 ? std::atoi(argv[3]) : 50;
    std::vector<double> ms;
    std::string error;
    for (int i = 0; i < runs; ++i) {
        const std::string line =
            "{\"exit_code\":0,\"host\":\"bench\",\"id\":\"" + NewRecordId() +
            "\",\"outcome\":\"completed\",\"schema\":1,\"serial_number\":" + std::to_string(i) +
            ",\"time\":\"2024-05-17T09:41:07Z\"}";
        std::string appendError;
        if (!AppendRecord(journal, line, appendError)) {
            std::fprintf(stderr, "cannot append: %s\n", appendError.c_str());
            return 1;
        }
        const auto begin = std::chrono::steady_clock::now();
        const ForwardResult result = ForwardRecords(journal, url, kForwardLimitMs);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                .count());
        error = result.error;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("sends %d  median %.2f ms  max %.2f ms  limit %u ms  last: %s\n", runs,
                ms[ms.size() / 2], ms.back(), kForwardLimitMs,
                error.empty() ? "sent" : error.c_str());
    return 0;
}
