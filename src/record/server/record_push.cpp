// tq8flash log --push: a record file made elsewhere, in transactions of its own.

#include "platform/file_io.h"
#include "record/record_server.h"
#include "record/record_text.h"
#include "record/server/record_rows.h"
#include "record/server/server_failure.h"

PushResult PushRecordFile(const std::string& url, const std::string& path,
                          const std::function<void(const PushProblem&)>& problem) {
    PushResult result;
    PgSession session;
    RecordBatch batch;
    const auto commit = [&] {
        int64_t added = 0;
        if (!batch.Send(session, added)) {
            result.error = FailureText(session, 0);
            return false;
        }
        result.added += added;
        result.present += static_cast<int64_t>(batch.Size()) - added;
        batch.Clear();
        return true;
    };
    RecordLogReader reader(
        std::nullopt,
        [&](LogEntry entry) {
            std::string field;
            if (!result.error.empty()) {
                return;
            }
            if (!batch.Add(entry, field)) {
                ++result.broken;
                problem({entry.line, std::nullopt, field});
            } else if (batch.Size() == kRowsPerTransaction) {
                commit();
            }
        },
        [&](const LogProblem& bad) {
            ++result.broken;
            problem({bad.line, bad.kind, ""});
        });
    if (!session.Open(url, 0, false)) {
        result.error = FailureText(session, 0);
        return result;
    }
    const platform::ReadResult read = platform::ReadFileInPieces(path, [&](std::string_view bytes) {
        reader.Take(bytes);
        return result.error.empty();
    });
    if (!result.error.empty()) {
        return result;
    }
    if (read != platform::ReadResult::Ok) {
        result.error = RecordFormat(Cli::kLogUnreadable, path.c_str());
        return result;
    }
    reader.End();
    if (!batch.Empty()) {
        commit();
    }
    return result;
}
