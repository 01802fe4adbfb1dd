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
            // Without a limit of the caller's only the connection has one.
            return RecordFormat(Cli::kServerTimedOut,
                                static_cast<unsigned>(limitMs != 0 ? limitMs : kPgConnectLimitMs));
        case PgFailure::Connect:
            return RecordFormat(Cli::kServerCannotConnect, message);
        case PgFailure::Server:
        case PgFailure::None:
            break;
    }
    return RecordFormat(Cli::kServerError, message);
}
