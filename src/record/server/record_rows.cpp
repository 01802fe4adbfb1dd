#include "record/server/record_rows.h"

#include <array>
#include <cstdlib>

#include "bundle/crypto.h"
#include "record/record_id.h"
#include "record/utc_time.h"

namespace {

constexpr size_t kRecordColumns = 9;

// The namespace of derived record ids: a UUID of our own, so that no other name-based
// UUID of the same bytes can equal one.
constexpr std::array<uint8_t, 16> kRecordNamespace = {
    0x6b, 0x1c, 0x2f, 0x3e, 0x94, 0x57, 0x4d, 0x0a, 0x8e, 0x21, 0x53, 0xc7, 0x0d, 0x9a, 0x71, 0x44};

// One field of COPY's text format: its separators and escapes escaped.
void AppendField(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

}  // namespace

std::string DerivedRecordId(std::string_view line) {
    std::string named(kRecordNamespace.begin(), kRecordNamespace.end());
    named.append(line);
    const bundle::Sha1Digest digest = bundle::Sha1Of(named);
    std::array<uint8_t, 16> bytes{};
    std::copy_n(digest.begin(), bytes.size(), bytes.begin());
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x50);  // version 5
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    return UuidText(bytes);
}

bool RecordBatch::Add(const LogEntry& entry, std::string& badField) {
    if (!entry.id.empty() && !IsRecordId(entry.id)) {
        badField = "id";
    } else if (!IsIsoUtcSeconds(entry.time)) {  // what the table's timestamptz takes
        badField = "time";
    } else if (entry.holdsNul) {
        badField = "text (\\u0000)";
    } else if (entry.exitCode && (*entry.exitCode < INT32_MIN || *entry.exitCode > INT32_MAX)) {
        badField = "exit_code";
    } else {
        badField.clear();
    }
    if (!badField.empty()) {
        return false;
    }
    std::string id = entry.id.empty() ? DerivedRecordId(entry.raw) : entry.id;
    for (char& c : id) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const auto optional = [](const std::string& text) {
        return text.empty() ? std::nullopt : std::optional(text);
    };
    const PgParams row = {
        id,
        entry.time,
        optional(entry.host),
        entry.serialNumber ? std::optional(std::to_string(*entry.serialNumber)) : std::nullopt,
        optional(entry.machineVersionBefore),
        optional(entry.fileVersion),
        optional(entry.outcome),
        entry.exitCode ? std::optional(std::to_string(*entry.exitCode)) : std::nullopt,
        entry.raw};
    for (size_t field = 0; field < row.size(); ++field) {
        copy_ += field == 0 ? "" : "\t";
        if (row[field]) {
            AppendField(copy_, *row[field]);
        } else {
            copy_ += "\\N";
        }
    }
    copy_ += '\n';
    ++rows_;
    if (rows_ <= kSmallSendRows) {
        params_.insert(params_.end(), row.begin(), row.end());
    } else {
        params_.clear();
    }
    return true;
}

void RecordBatch::Clear() {
    copy_.clear();
    params_.clear();
    rows_ = 0;
}

bool RecordBatch::Send(PgSession& session, int64_t& added, uint32_t statementMs) const {
    const auto count = [&added](const PGresult* result) {
        if (std::string(Pq().PQcmdStatus(const_cast<PGresult*>(result))).rfind("INSERT", 0) == 0) {
            added = std::atoll(Pq().PQcmdTuples(const_cast<PGresult*>(result)));
        }
    };
    added = 0;
    if (rows_ == 0) {
        return true;
    }
    if (rows_ <= kSmallSendRows) {
        // The send after an update: one statement, one round trip, its own transaction.
        std::string sql =
            "INSERT INTO update_records (id, time, host, serial_number, machine_version_before, "
            "file_version, outcome, exit_code, record) VALUES ";
        for (size_t param = 0; param < params_.size(); ++param) {
            sql += param % kRecordColumns == 0 ? (param == 0 ? "($" : "), ($") : ", $";
            sql += std::to_string(param + 1);
        }
        sql += ") ON CONFLICT (id) DO NOTHING";
        return session.Run(sql, params_, count);
    }
    // The rows land in a temporary table first, so that one INSERT can skip every id the
    // server holds: a record sent twice stays one row.
    const std::string frame =
        "BEGIN; SET LOCAL client_min_messages = warning; " +
        (statementMs == 0 ? std::string()
                          : "SET LOCAL statement_timeout = " + std::to_string(statementMs) + "; ") +
        "CREATE TEMP TABLE IF NOT EXISTS incoming_records "
        "(LIKE update_records INCLUDING DEFAULTS) ON COMMIT DELETE ROWS; "
        "COPY incoming_records (id, time, host, serial_number, machine_version_before, "
        "file_version, outcome, exit_code, record) FROM STDIN; "
        "INSERT INTO update_records SELECT * FROM incoming_records ON CONFLICT (id) DO NOTHING; "
        "COMMIT";
    return session.RunScript(frame, count, &copy_);
}
