#pragma once
// One connection to the record server through libpq, every step held to the session's time
// limit: the client library's non-blocking calls, with our own wait on its socket.

#include "record/server/pq_library.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class PgFailure { None, NoLibrary, Connect, Password, NoTable, TimedOut, Server };

// Without a limit of the caller's, a connection that never completes still ends after this.
inline constexpr uint32_t kPgConnectLimitMs = 10000;

using PgParams = std::vector<std::optional<std::string>>;  // nullopt: NULL

class PgSession {
  public:
    // Connects with libpq's conventions (the URL or key=value string, PG* variables,
    // ~/.pgpass, service files). limitMs bounds the connection and, when the session is
    // to be short, every later step too (sessionLimited); 0 means no limit at all.
    bool Open(const std::string& url, uint32_t limitMs, bool sessionLimited);

    // Sends sql with text parameters; each result (each row in single-row mode) goes to
    // each. copyData: what a COPY ... FROM STDIN in sql reads.
    bool Run(const std::string& sql, const PgParams& params,
             const std::function<void(const PGresult*)>& each = {}, bool singleRows = false,
             const std::string* copyData = nullptr);

    // Several statements at once, without parameters (the table's SQL, a batch's frame).
    bool RunScript(const std::string& sql, const std::function<void(const PGresult*)>& each = {},
                   const std::string* copyData = nullptr);

    // The server's limit for each statement of this session; 0 leaves the server's own.
    bool LimitStatements(uint32_t ms);

    // A session opened on another thread can be given up from outside: every wait ends
    // soon after *abandon turns true. nullptr: none.
    void AbandonWhen(const std::atomic<bool>* abandon) { abandon_ = abandon; }
    // Holds every later step to end by platform::MonotonicMs() == deadlineMs.
    void LimitUntil(uint32_t deadlineMs) { deadline_ = deadlineMs; }
    // Whether the connection is gone (the server ended it, or it broke).
    bool Broken() const;

    PgFailure Failure() const { return failure_; }
    // The client library's or the server's words for the failure, on one line.
    const std::string& Message() const { return message_; }

  private:
    struct Closer {
        void operator()(PGconn* conn) const { Pq().PQfinish(conn); }
    };

    bool Wait(bool read, bool write);
    bool Flush();
    bool PutCopy(const std::string& data);
    bool Collect(const std::function<void(const PGresult*)>& each, const std::string* copyData);
    bool Fail(PgFailure failure, const std::string& message);

    std::unique_ptr<PGconn, Closer> conn_;
    std::optional<uint32_t> deadline_;  // platform::MonotonicMs() at which time is up
    const std::atomic<bool>* abandon_ = nullptr;
    PgFailure failure_ = PgFailure::None;
    std::string message_;
};
