#include "record/server/pg_session.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/socket_wait.h"

namespace {

constexpr size_t kCopyPiece = 64 * 1024;
// How soon a session given up from outside notices it.
constexpr int kAbandonCheckMs = 20;

// libpq's messages run over several lines; a notice has one.
std::string OneLine(const char* text) {
    std::string line;
    bool space = false;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        if (*p == '\n' || *p == '\r' || *p == '\t' || *p == ' ') {
            space = !line.empty();
            continue;
        }
        if (space) {
            line += ' ';
            space = false;
        }
        line += *p;
    }
    return line;
}

void IgnoreNotice(void*, const char*) {}

}  // namespace

bool PgSession::Fail(PgFailure failure, const std::string& message) {
    if (failure_ == PgFailure::None) {
        failure_ = failure;
        message_ = message;
    }
    return false;
}

bool PgSession::Open(const std::string& url, uint32_t limitMs, bool sessionLimited) {
    if (!Pq().loaded) {
        return Fail(PgFailure::NoLibrary, "");
    }
    const uint32_t connectMs =
        limitMs == 0 ? kPgConnectLimitMs : std::min(limitMs, kPgConnectLimitMs);
    deadline_ = platform::MonotonicMs() + connectMs;
    // Later pairs override earlier ones: the URL may shorten the connect time, never
    // the records' encoding.
    const std::string seconds = std::to_string(std::max<uint32_t>(2, (connectMs + 999) / 1000));
    const char* keys[] = {"connect_timeout", "dbname", "client_encoding",
                          "fallback_application_name", nullptr};
    const char* values[] = {seconds.c_str(), url.c_str(), "UTF8", "tq8flash", nullptr};
    conn_.reset(Pq().PQconnectStartParams(keys, values, 1));
    if (!conn_ || Pq().PQstatus(conn_.get()) == CONNECTION_BAD) {
        return Fail(PgFailure::Connect, conn_ ? OneLine(Pq().PQerrorMessage(conn_.get())) : "");
    }
    PostgresPollingStatusType poll = PGRES_POLLING_WRITING;
    while (poll != PGRES_POLLING_OK) {
        if (poll == PGRES_POLLING_FAILED) {
            const std::string text = OneLine(Pq().PQerrorMessage(conn_.get()));
            const bool password = Pq().PQconnectionNeedsPassword(conn_.get()) ||
                                  (Pq().PQconnectionUsedPassword(conn_.get()) &&
                                   text.find("password") != std::string::npos);
            return Fail(password ? PgFailure::Password : PgFailure::Connect, text);
        }
        if (!Wait(poll == PGRES_POLLING_READING, poll == PGRES_POLLING_WRITING)) {
            return false;
        }
        poll = Pq().PQconnectPoll(conn_.get());
    }
    Pq().PQsetNoticeProcessor(conn_.get(), IgnoreNotice, nullptr);
    if (Pq().PQsetnonblocking(conn_.get(), 1) != 0) {
        return Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())));
    }
    if (sessionLimited && limitMs != 0) {
        deadline_ = deadline_.value() - connectMs + limitMs;
    } else {
        deadline_.reset();
    }
    return true;
}

bool PgSession::LimitStatements(uint32_t ms) {
    return ms == 0 || RunScript("SET statement_timeout = " + std::to_string(ms));
}

bool PgSession::Broken() const {
    return !conn_ || Pq().PQstatus(conn_.get()) == CONNECTION_BAD;
}

bool PgSession::Wait(bool read, bool write) {
    for (;;) {
        if (Pq().PQsocket(conn_.get()) < 0) {
            return Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())));
        }
        int timeout = -1;
        if (deadline_) {
            const auto left = static_cast<int32_t>(*deadline_ - platform::MonotonicMs());
            if (left <= 0) {
                return Fail(PgFailure::TimedOut, "");
            }
            timeout = left;
        }
        if (abandon_ != nullptr) {
            if (abandon_->load()) {
                return Fail(PgFailure::TimedOut, "");
            }
            timeout = timeout < 0 ? kAbandonCheckMs : std::min(timeout, kAbandonCheckMs);
        }
        const platform::SocketReadiness ready =
            platform::WaitForSocket(Pq().PQsocket(conn_.get()), read, write, timeout);
        if (ready.failed) {
            return Fail(PgFailure::Connect, "poll");
        }
        if (!ready.timedOut) {
            return true;
        }
    }
}

bool PgSession::Flush() {
    for (;;) {
        const int left = Pq().PQflush(conn_.get());
        if (left == 0) {
            return true;
        }
        if (left < 0 || !Wait(true, true)) {
            return left < 0 ? Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())))
                            : false;
        }
        if (Pq().PQconsumeInput(conn_.get()) == 0) {
            return Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())));
        }
    }
}

bool PgSession::PutCopy(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const size_t piece = std::min(kCopyPiece, data.size() - done);
        const int put =
            Pq().PQputCopyData(conn_.get(), data.data() + done, static_cast<int>(piece));
        if (put < 0) {
            return Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())));
        }
        if (put == 0 || Pq().PQflush(conn_.get()) == 1) {
            // The server takes less than we give: wait for its socket, then go on.
            if (!Flush()) {
                return false;
            }
        }
        done += put == 1 ? piece : 0;
    }
    int end = 0;
    while ((end = Pq().PQputCopyEnd(conn_.get(), nullptr)) == 0) {
        if (!Flush()) {
            return false;
        }
    }
    return end > 0 ? Flush() : Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())));
}

bool PgSession::Collect(const std::function<void(const PGresult*)>& each,
                        const std::string* copyData) {
    bool ok = true;
    for (;;) {
        while (Pq().PQisBusy(conn_.get()) != 0) {
            if (!Wait(true, false)) {
                return false;
            }
            if (Pq().PQconsumeInput(conn_.get()) == 0) {
                return Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())));
            }
        }
        const std::unique_ptr<PGresult, decltype(Pq().PQclear)> result(
            Pq().PQgetResult(conn_.get()), Pq().PQclear);
        if (!result) {
            return ok;
        }
        switch (Pq().PQresultStatus(result.get())) {
            case PGRES_COPY_IN:
                if (copyData == nullptr || !PutCopy(*copyData)) {
                    return Fail(PgFailure::Server, "COPY");
                }
                break;
            case PGRES_FATAL_ERROR:
            case PGRES_BAD_RESPONSE:
            case PGRES_NONFATAL_ERROR: {
                const char* state = Pq().PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
                const bool noTable = state != nullptr && std::string(state) == "42P01";
                ok = Fail(noTable ? PgFailure::NoTable : PgFailure::Server,
                          OneLine(Pq().PQresultErrorMessage(result.get())));
                // A broken connection ends with no further result.
                if (Pq().PQstatus(conn_.get()) == CONNECTION_BAD) {
                    return false;
                }
                break;
            }
            default:
                if (ok && each) {
                    each(result.get());
                }
                break;
        }
    }
}

bool PgSession::Run(const std::string& sql, const PgParams& params,
                    const std::function<void(const PGresult*)>& each, bool singleRows,
                    const std::string* copyData) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& param : params) {
        values.push_back(param ? param->c_str() : nullptr);
    }
    if (Pq().PQsendQueryParams(conn_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0) == 0) {
        return Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())));
    }
    if (singleRows) {
        Pq().PQsetSingleRowMode(conn_.get());
    }
    return Flush() && Collect(each, copyData);
}

bool PgSession::RunScript(const std::string& sql, const std::function<void(const PGresult*)>& each,
                          const std::string* copyData) {
    if (Pq().PQsendQuery(conn_.get(), sql.c_str()) == 0) {
        return Fail(PgFailure::Connect, OneLine(Pq().PQerrorMessage(conn_.get())));
    }
    return Flush() && Collect(each, copyData);
}
