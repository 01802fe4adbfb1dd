#pragma once
// A session's failure as one line in the run's language.

#include <string>

#include "record/server/pg_session.h"

// limitMs: the caller's time limit, 0 for none (a time-out is then the connection's own).
std::string FailureText(const PgSession& session, uint32_t limitMs);

// Rows that go to the server in one transaction: a line of machines fits in one, and a
// push that stops keeps all it committed.
inline constexpr size_t kRowsPerTransaction = 500;
