// The record server in a build without it: the Windows programs keep their records
// locally, and say so when asked for a server.

#include "console_texts.h"
#include "record/record_server.h"
#include "record/record_text.h"

bool RecordServerBuilt() {
    return false;
}

std::string RecordServerUrl(const std::string& option) {
    return option;
}

bool ConnectionHasPassword(const std::string&) {
    return false;
}

struct EarlyServerConnection::Opening {};

EarlyServerConnection::EarlyServerConnection(const std::string& url, uint32_t) : url_(url) {}

EarlyServerConnection::~EarlyServerConnection() = default;

ForwardResult ForwardRecords(const std::string&, const std::string&, uint32_t,
                             EarlyServerConnection*) {
    ForwardResult result;
    result.error = RecordText(Cli::kServerUnavailable);
    return result;
}

PushResult PushRecordFile(const std::string&, const std::string&,
                          const std::function<void(const PushProblem&)>&) {
    PushResult result;
    result.error = RecordText(Cli::kServerUnavailable);
    return result;
}

std::string InitRecordServer(const std::string&) {
    return RecordText(Cli::kServerUnavailable);
}

std::string QueryRecordServer(const std::string&, const ServerQuery&,
                              const std::function<void(const std::string&)>&) {
    return RecordText(Cli::kServerUnavailable);
}
