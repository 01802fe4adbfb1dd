#include "record/server/server_failure.h"

#include "record/record_text.h"

std::string FailureText(const PgSession& session, uint32_t limitMs) {
    const char* message = session.Message().c_str();
    switch (session.Failure()) {
        case PgFailure::NoLibrary:
            return RecordText(Cli::kServerNoLibrary);
        case PgFailure::Password:
            return RecordFormat(Cli::kServerPassword, message);
        case PgFailure::NoTable:
            return RecordText(Cli::kServerNoTable);
        case PgFailure::TimedOut:
            return RecordFormat(Cli::kServerTimedOut, static_cast<unsigned>(limitMs));
        case PgFailure::Connect:
            return RecordFormat(Cli::kServerCannotConnect, message);
        case PgFailure::Server:
        case PgFailure::None:
            break;
    }
    return RecordFormat(Cli::kServerError, message);
}
