// The record server's table: its creation, and the questions of tq8flash log --server.

#include "record/record_server.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "record/server/pg_session.h"
#include "record/server/server_failure.h"
#include "record_server_sql.h"
#include "support/settings.h"

bool RecordServerBuilt() {
    return true;
}

std::string RecordServerUrl(const std::string& option) {
    return option.empty() ? RecordServerSetting() : option;
}

bool ConnectionHasPassword(const std::string& url) {
    if (!Pq().loaded) {
        return false;  // nothing can connect, which the connection says
    }
    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, decltype(Pq().PQconninfoFree)> options(
        Pq().PQconninfoParse(url.c_str(), &error), Pq().PQconninfoFree);
    Pq().PQfreemem(error);
    for (const PQconninfoOption* option = options.get(); option && option->keyword; ++option) {
        if (std::string(option->keyword) == "password" && option->val && *option->val) {
            return true;
        }
    }
    return false;
}

std::string InitRecordServer(const std::string& url) {
    PgSession session;
    if (!session.Open(url, 0, false) || !session.RunScript(kRecordServerSql)) {
        return FailureText(session, 0);
    }
    return {};
}

std::string QueryRecordServer(const std::string& url, const ServerQuery& query,
                              const std::function<void(const std::string& line)>& line) {
    PgParams params{query.last == 0 ? std::nullopt : std::optional(std::to_string(query.last))};
    std::string where = "true";
    const auto filter = [&](const char* condition, std::string value) {
        params.emplace_back(std::move(value));
        where += " AND " + std::string(condition) + " $" + std::to_string(params.size());
    };
    if (query.serial) {
        filter("serial_number =", std::to_string(*query.serial));
    }
    if (!query.since.empty()) {
        filter("time >=", query.since);
    }
    if (!query.outcome.empty()) {
        filter("outcome =", query.outcome);
    }
    if (!query.host.empty()) {
        filter("host =", query.host);
    }
    // The newest first, for the index to stop early; shown oldest first, as in the file.
    const std::string sql =
        "SELECT record::text FROM (SELECT record, time, id FROM update_records WHERE " + where +
        " ORDER BY time DESC, id DESC LIMIT $1::bigint) AS newest ORDER BY time, id";
    PgSession session;
    const bool ok =
        session.Open(url, 0, false) &&
        session.Run(
            sql, params,
            [&line](const PGresult* result) {
                for (int row = 0; row < Pq().PQntuples(result); ++row) {
                    // The server keeps the record as jsonb; written back the way stations
                    // write it, the line is the one the station wrote.
                    const nlohmann::json record =
                        nlohmann::json::parse(Pq().PQgetvalue(result, row, 0), nullptr, false);
                    line(record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
                }
            },
            true);
    return ok ? std::string() : FailureText(session, 0);
}
