#include "record/server/pg_session.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/socket_wait.h"

namespace {

// Without a limit of the caller's, a connection that never completes still ends.
constexpr uint32_t kConnectLimitMs = 10000;
constexpr size_t kCopyPiece = 64 * 1024;

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
    const uint32_t connectMs = limitMs == 0 ? kConnectLimitMs : std::min(limitMs, kConnectLimitMs);
    deadline_ = platform::MonotonicMs() + connectMs;
    // Later pairs override earlier ones: the URL may shorten the connect time, never
    // the records' encoding.
    const std::string seconds = std::to_string(std::max<uint32_t>(2, (connectMs + 999) / 1000));
    const char* keys[] = {"connect_timeout", "dbname", "client_encoding",
                          "fallback_application_name", nullptr};
    const char* values[] = {seconds.c_str(), url.c_str(), "UTF8", "tq8flash", nullptr};
    conn_.reset(PQconnectStartParams(keys, values, 1));
    if (!conn_ || PQstatus(conn_.get()) == CONNECTION_BAD) {
        return Fail(PgFailure::Connect, conn_ ? OneLine(PQerrorMessage(conn_.get())) : "");
    }
    PostgresPollingStatusType poll = PGRES_POLLING_WRITING;
    while (poll != PGRES_POLLING_OK) {
        if (poll == PGRES_POLLING_FAILED) {
            const std::string text = OneLine(PQerrorMessage(conn_.get()));
            const bool password = PQconnectionNeedsPassword(conn_.get()) ||
                                  (PQconnectionUsedPassword(conn_.get()) &&
                                   text.find("password") != std::string::npos);
            return Fail(password ? PgFailure::Password : PgFailure::Connect, text);
        }
        if (!Wait(poll == PGRES_POLLING_READING, poll == PGRES_POLLING_WRITING)) {
            return false;
        }
        poll = PQconnectPoll(conn_.get());
    }
    PQsetNoticeProcessor(conn_.get(), IgnoreNotice, nullptr);
    if (PQsetnonblocking(conn_.get(), 1) != 0) {
        return Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())));
    }
    if (sessionLimited && limitMs != 0) {
        deadline_ = deadline_.value() - connectMs + limitMs;
    } else {
        deadline_.reset();
    }
    return true;
}

bool PgSession::Wait(bool read, bool write) {
    if (PQsocket(conn_.get()) < 0) {
        return Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())));
    }
    int timeout = -1;
    if (deadline_) {
        const auto left = static_cast<int32_t>(*deadline_ - platform::MonotonicMs());
        if (left <= 0) {
            return Fail(PgFailure::TimedOut, "");
        }
        timeout = left;
    }
    const platform::SocketReadiness ready =
        platform::WaitForSocket(PQsocket(conn_.get()), read, write, timeout);
    if (ready.timedOut) {
        return Fail(PgFailure::TimedOut, "");
    }
    if (ready.failed) {
        return Fail(PgFailure::Connect, "poll");
    }
    return true;
}

bool PgSession::Flush() {
    for (;;) {
        const int left = PQflush(conn_.get());
        if (left == 0) {
            return true;
        }
        if (left < 0 || !Wait(true, true)) {
            return left < 0 ? Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())))
                            : false;
        }
        if (PQconsumeInput(conn_.get()) == 0) {
            return Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())));
        }
    }
}

bool PgSession::PutCopy(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const size_t piece = std::min(kCopyPiece, data.size() - done);
        const int put = PQputCopyData(conn_.get(), data.data() + done, static_cast<int>(piece));
        if (put < 0) {
            return Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())));
        }
        if (put == 0 || PQflush(conn_.get()) == 1) {
            // The server takes less than we give: wait for its socket, then go on.
            if (!Flush()) {
                return false;
            }
        }
        done += put == 1 ? piece : 0;
    }
    int end = 0;
    while ((end = PQputCopyEnd(conn_.get(), nullptr)) == 0) {
        if (!Flush()) {
            return false;
        }
    }
    return end > 0 ? Flush() : Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())));
}

bool PgSession::Collect(const std::function<void(const PGresult*)>& each,
                        const std::string* copyData) {
    bool ok = true;
    for (;;) {
        while (PQisBusy(conn_.get()) != 0) {
            if (!Wait(true, false)) {
                return false;
            }
            if (PQconsumeInput(conn_.get()) == 0) {
                return Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())));
            }
        }
        const std::unique_ptr<PGresult, decltype(&PQclear)> result(PQgetResult(conn_.get()),
                                                                   &PQclear);
        if (!result) {
            return ok;
        }
        switch (PQresultStatus(result.get())) {
            case PGRES_COPY_IN:
                if (copyData == nullptr || !PutCopy(*copyData)) {
                    return Fail(PgFailure::Server, "COPY");
                }
                break;
            case PGRES_FATAL_ERROR:
            case PGRES_BAD_RESPONSE:
            case PGRES_NONFATAL_ERROR: {
                const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
                const bool noTable = state != nullptr && std::string(state) == "42P01";
                ok = Fail(noTable ? PgFailure::NoTable : PgFailure::Server,
                          OneLine(PQresultErrorMessage(result.get())));
                // A broken connection ends with no further result.
                if (PQstatus(conn_.get()) == CONNECTION_BAD) {
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
    if (PQsendQueryParams(conn_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr,
                          values.data(), nullptr, nullptr, 0) == 0) {
        return Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())));
    }
    if (singleRows) {
        PQsetSingleRowMode(conn_.get());
    }
    return Flush() && Collect(each, copyData);
}

bool PgSession::RunScript(const std::string& sql, const std::function<void(const PGresult*)>& each,
                          const std::string* copyData) {
    if (PQsendQuery(conn_.get(), sql.c_str()) == 0) {
        return Fail(PgFailure::Connect, OneLine(PQerrorMessage(conn_.get())));
    }
    return Flush() && Collect(each, copyData);
}
