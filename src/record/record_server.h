#pragma once
// The central record server (PostgreSQL through libpq; Linux builds only). The station's
// record file stays the journal: what it holds beyond what the server has taken is the
// outbox, and goes to the server keyed by each record's id, so a resend is harmless.
// Every failure comes back as one line of text in the run's language.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "record/record_log.h"

// Whether this build reaches a record server; the Windows programs keep their records
// locally, and a technician pushes their file from Linux.
bool RecordServerBuilt();

// The record server of this run: the option when given, else the RecordServer setting;
// "" for none.
std::string RecordServerUrl(const std::string& option);

// Whether a connection string (URL or key=value) carries a password: a command line, which
// every user's process list shows, must not.
bool ConnectionHasPassword(const std::string& url);

// The time limit of the send that follows an update: a server that is away costs an
// update no more than this.
inline constexpr uint32_t kForwardLimitMs = 2000;

class PgSession;

// A connection to the record server opened on a thread of its own while an update runs
// (the download takes minutes; a connection, with its login, tens of milliseconds), so
// that the send at the end finds it ready. The destructor gives up an opening that has not
// finished, within a moment.
class EarlyServerConnection {
  public:
    // Starts opening; statementMs: the server's limit for each statement, 0 for none.
    EarlyServerConnection(const std::string& url, uint32_t statementMs);
    ~EarlyServerConnection();
    EarlyServerConnection(const EarlyServerConnection&) = delete;
    EarlyServerConnection& operator=(const EarlyServerConnection&) = delete;

    const std::string& Url() const { return url_; }
    // The connection, when it opened within waitMs from now; none when it failed, has not
    // opened in time (it is then given up) or was taken before.
    std::optional<PgSession> Take(uint32_t waitMs);

    struct Opening;

  private:
    std::string url_;
    std::unique_ptr<Opening> opening_;
};

struct ForwardResult {
    int64_t sent = 0;    // records the server committed in this call
    int64_t added = 0;   // of those, rows new to the table
    int64_t broken = 0;  // lines passed that are no record the table can take
    std::string error;   // why records still wait; "" when none wait
};

// Sends the outbox of the record file at journal: what the file holds beyond the mark of
// what the server committed (kept beside it as journal + ".sent"), in transactions of a
// few thousand records, the mark moved after each commit. A crash anywhere leaves the
// mark at or before what the server holds, so nothing is lost and a resend stores
// nothing twice. limitMs: the time limit of the whole call, 0 for none. early: a
// connection opened before for this url, used when it is up (waiting for it counts
// toward limitMs); when it failed, or the server ended it meanwhile, a new one is made.
ForwardResult ForwardRecords(const std::string& journal, const std::string& url, uint32_t limitMs,
                             EarlyServerConnection* early = nullptr);

struct PushProblem {
    int line = 0;
    std::optional<LogProblem::Kind> kind;  // the line is no record
    std::string field;                     // else: the field the table cannot take
};

struct PushResult {
    int64_t added = 0;    // rows new to the table
    int64_t present = 0;  // records the table held already
    int64_t broken = 0;   // lines that are no record the table can take
    std::string error;    // why the push stopped; "" when it went through
};

// Every record of a record file, wherever it was made; a record without an id is named
// by its own bytes, so that pushing the same file twice changes nothing.
PushResult PushRecordFile(const std::string& url, const std::string& path,
                          const std::function<void(const PushProblem&)>& problem);

// Creates the table and its indexes (docs/update-records.sql) where they are missing;
// "" or why not.
std::string InitRecordServer(const std::string& url);

struct ServerQuery {
    std::optional<uint16_t> serial;
    std::string since;  // "2024-05-17T00:00:00Z", or "" for all
    std::string outcome;
    std::string host;
    size_t last = 20;  // the newest so many; 0 for all
};

// The newest records that match, oldest first, each as the line its station wrote;
// "" or why not.
std::string QueryRecordServer(const std::string& url, const ServerQuery& query,
                              const std::function<void(const std::string& line)>& line);
