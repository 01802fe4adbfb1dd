#pragma once
// Record lines as rows of the table update_records, and a batch of them sent in one
// transaction.

#include <cstdint>
#include <string>
#include <string_view>

#include "record/record_log.h"
#include "record/server/pg_session.h"

// A UUID of the line's own bytes (version 5), for a record written before records had
// ids: the same line always gets the same one.
std::string DerivedRecordId(std::string_view line);

// The rows of one transaction, as COPY's text format holds them.
class RecordBatch {
  public:
    // Adds the entry's row; false (and nothing added) when a value the table types
    // would refuse, with the field's name in badField.
    bool Add(const LogEntry& entry, std::string& badField);
    size_t Size() const { return rows_; }
    bool Empty() const { return rows_ == 0; }
    void Clear();

    // Sends the rows in one transaction; added: how many were new to the table.
    // statementMs: the server's limit for each statement, 0 for none.
    bool Send(PgSession& session, int64_t& added, uint32_t statementMs = 0) const;

    // Up to so many rows go as one INSERT with parameters, more by COPY through a temporary
    // table, which costs the session a table but carries a year of records quickly.
    static constexpr size_t kSmallSendRows = 32;

  private:
    std::string copy_;
    PgParams params_;  // the rows' fields, while they are few
    size_t rows_ = 0;
};
