// The outbox: what the record file holds beyond the mark of what the server committed.
// The mark (journal + ".sent") names the end of the last line sent and that line's
// fingerprint, so that a record file replaced or cut since is sent again from its start
// rather than skipped.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/file_io.h"
#include "record/record_server.h"
#include "record/server/journal_lines.h"
#include "record/server/record_rows.h"
#include "record/server/server_failure.h"

namespace {

struct Mark {
    uint64_t end = 0;        // everything before it is on the server
    uint64_t lineStart = 0;  // where the last line sent starts
    std::string line;        // that line's fingerprint
    std::string server;      // the server it went to
};

std::string MarkPath(const std::string& journal) {
    return journal + ".sent";
}

Mark ReadMark(const std::string& journal, const std::string& server) {
    // The mark is a line of a few hundred bytes. Whatever else stands under its name (a FIFO,
    // a device, a huge file) counts as no mark: the journal is then sent from its start,
    // which the server stores once.
    constexpr size_t kMarkLimit = 64 * 1024;
    std::string text;
    bool tooLarge = false;
    const platform::ReadResult read =
        platform::ReadFileInPieces(MarkPath(journal), [&](std::string_view piece) {
            tooLarge = text.size() + piece.size() > kMarkLimit;
            if (!tooLarge) {
                text.append(piece);
            }
            return !tooLarge;
        });
    if (read != platform::ReadResult::Ok || tooLarge) {
        return {};
    }
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    Mark mark;
    if (!json.is_object() || json.value("server", "") != server) {
        return mark;  // another server has none of it
    }
    mark.end = json.value("end", uint64_t{0});
    mark.lineStart = json.value("line_start", uint64_t{0});
    mark.line = json.value("line", "");
    mark.server = server;
    return mark.lineStart < mark.end ? mark : Mark{};
}

bool WriteMark(const std::string& journal, const Mark& mark) {
    const nlohmann::json json = {{"end", mark.end},
                                 {"line_start", mark.lineStart},
                                 {"line", mark.line},
                                 {"server", mark.server}};
    // Not flushed to the disk: a crash that loses the newest mark leaves an older one,
    // which only sends again what the server stores once.
    return platform::WriteFileAtomically(MarkPath(journal), json.dump() + "\n", false);
}

class Outbox {
  public:
    Outbox(const std::string& journal, const std::string& url, uint32_t limitMs,
           EarlyServerConnection* early)
        : journal_(journal),
          url_(url),
          limitMs_(limitMs),
          begin_(platform::MonotonicMs()),
          early_(early != nullptr && early->Url() == url ? early : nullptr) {}

    ForwardResult Send() {
        Mark mark = ReadMark(journal_, url_);
        if (!Read(mark) && replaced_) {
            replaced_ = false;
            Read(Mark{0, 0, "", url_});
        }
        return result_;
    }

  private:
    // One pass from the mark; false when the reading stopped before the file's end.
    bool Read(const Mark& from) {
        mark_ = from;
        mark_.server = url_;
        written_ = from.end;
        bool verify = from.end > 0;
        RecordLogReader reader(
            std::nullopt,
            [this](LogEntry entry) {
                std::string badField;
                result_.broken += batch_.Add(entry, badField) ? 0 : 1;
            },
            [this](const LogProblem&) { ++result_.broken; });
        JournalLines lines(from.end > 0 ? from.lineStart : 0, [&](const JournalLine& line) {
            if (verify) {
                verify = false;
                replaced_ = line.end != from.end || DerivedRecordId(line.text) != from.line;
                return !replaced_;
            }
            // Lines that are no record stay in the file and go nowhere.
            if (line.overlong) {
                ++result_.broken;
            } else {
                reader.Take(line.text);
                reader.Take("\n");
            }
            mark_.end = line.end;
            mark_.lineStart = line.start;
            mark_.line = DerivedRecordId(line.text);
            return batch_.Size() < kRowsPerTransaction || Commit();
        });
        const platform::ReadResult read = platform::ReadFileInPieces(
            journal_, [&lines](std::string_view bytes) { return lines.Take(bytes); },
            from.end > 0 ? from.lineStart : 0);
        if (replaced_ || !result_.error.empty()) {
            return false;
        }
        if (verify && read == platform::ReadResult::Ok) {
            // The file ends before the line that was sent last: it was cut or replaced.
            replaced_ = true;
            return false;
        }
        return Commit();
    }

    bool Commit() {
        if (!batch_.Empty()) {
            if (!session_ && !Connect()) {
                return false;
            }
            int64_t added = 0;
            bool sent = batch_.Send(*session_, added, limitMs_);
            if (!sent && fromEarly_ && session_->Broken()) {
                // The server ended the connection opened early (a restart, an idle limit)
                // while the update ran. Whatever reached it is stored once, so the batch
                // goes again on a new connection.
                if (!Connect()) {
                    return false;
                }
                sent = batch_.Send(*session_, added, limitMs_);
            }
            if (!sent) {
                result_.error = FailureText(*session_, limitMs_);
                return false;
            }
            result_.sent += static_cast<int64_t>(batch_.Size());
            result_.added += added;
            batch_.Clear();
        }
        if (mark_.end != written_) {
            // A mark that cannot be written only means a resend, which stores nothing twice.
            WriteMark(journal_, mark_);
            written_ = mark_.end;
        }
        return true;
    }

    uint32_t TimeLeft() const {
        if (limitMs_ == 0) {
            return 0;
        }
        const uint32_t spent = platform::MonotonicMs() - begin_;
        return spent >= limitMs_ ? 1 : limitMs_ - spent;
    }

    bool Connect() {
        fromEarly_ = false;
        if (early_ != nullptr) {
            std::optional<PgSession> early = early_->Take(limitMs_ == 0 ? UINT32_MAX : TimeLeft());
            early_ = nullptr;
            if (early) {
                session_ = std::move(early);
                if (limitMs_ != 0) {
                    session_->LimitUntil(begin_ + limitMs_);
                }
                fromEarly_ = true;
                return true;
            }
        }
        session_.emplace();
        const bool opened =
            session_->Open(url_, TimeLeft(), true) && session_->LimitStatements(limitMs_);
        if (!opened) {
            result_.error = FailureText(*session_, limitMs_);
            return false;
        }
        return true;
    }

    const std::string& journal_;
    const std::string& url_;
    const uint32_t limitMs_;
    const uint32_t begin_;
    EarlyServerConnection* early_;  // not taken yet
    std::optional<PgSession> session_;
    bool fromEarly_ = false;
    RecordBatch batch_;
    Mark mark_;
    uint64_t written_ = 0;  // the end the mark file names
    bool replaced_ = false;
    ForwardResult result_;
};

}  // namespace

ForwardResult ForwardRecords(const std::string& journal, const std::string& url, uint32_t limitMs,
                             EarlyServerConnection* early) {
    return Outbox(journal, url, limitMs, early).Send();
}
