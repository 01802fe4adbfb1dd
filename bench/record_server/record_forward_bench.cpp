// The time that the send to the record server adds to an update, as an update sees it: the
// connection opened early (EarlyServerConnection) while the download runs, here a pause of
// its own; then one record appended to the record file, and ForwardRecords with the
// update's time limit timed, repeated; the median and the largest of the sends. The same
// with a connection made at the send, for comparison. The server is whatever the URL
// names: one that is up, a port where nothing listens, or one that takes the connection
// and never answers.
//
// With --query, the answer to log --server --serial N inside one process instead: the
// connection and the query, without the start of a program.
//
// Usage: record_forward_bench URL FOLDER [RUNS]
//        record_forward_bench --query URL SERIAL [RUNS]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "record/record_file.h"
#include "record/record_id.h"
#include "record/record_server.h"

namespace {

void PrintFigures(std::vector<double> ms, const char* what, const std::string& last) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s %zu  median %.2f ms  max %.2f ms  last: %s\n", what, ms.size(),
                ms[ms.size() / 2], ms.back(), last.c_str());
}

int TimeQueries(const std::string& url, int serial, int runs) {
    std::vector<double> ms;
    std::string error;
    size_t shown = 0;
    ServerQuery query;
    query.serial = static_cast<uint16_t>(serial);
    for (int i = 0; i < runs; ++i) {
        shown = 0;
        const auto begin = std::chrono::steady_clock::now();
        error = QueryRecordServer(url, query, [&shown](const std::string&) { ++shown; });
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                .count());
    }
    PrintFigures(ms, "queries", error.empty() ? std::to_string(shown) + " records" : error);
    return 0;
}

}  // namespace

// While the update downloads, the early connection opens; a download takes minutes.
constexpr auto kDownload = std::chrono::milliseconds(200);

int TimeSends(const std::string& url, const std::string& journal, int runs, bool early) {
    std::vector<double> ms;
    std::string error;
    for (int i = 0; i < runs; ++i) {
        std::unique_ptr<EarlyServerConnection> connection;
        if (early) {
            connection = std::make_unique<EarlyServerConnection>(url, kForwardLimitMs);
            std::this_thread::sleep_for(kDownload);
        }
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
        const ForwardResult result =
            ForwardRecords(journal, url, kForwardLimitMs, connection.get());
        connection.reset();  // the end of the update
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                .count());
        error = result.error;
    }
    PrintFigures(ms,
                 early ? "sends, connection opened during the update:"
                       : "sends, new connection at the send (for comparison):",
                 error.empty() ? "sent" : error);
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--query") {
        return TimeQueries(argv[2], std::atoi(argv[3]), argc > 4 ? std::atoi(argv[4]) : 30);
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: record_forward_bench URL FOLDER [RUNS]\n");
        return 2;
    }
    const std::string url = argv[1];
    const std::string journal = std::string(argv[2]) + "/bench.jsonl";
    const int runs = argc > 3 ? std::atoi(argv[3]) : 50;
    if (TimeSends(url, journal, runs, true) != 0) {
        return 1;
    }
    return TimeSends(url, journal, runs, false);
}
