#pragma once
// The send to the record server that follows the records of a run.

#include <memory>
#include <string>

#include "record/record_server.h"

// Whether a --record-server or --server URL may stand on the command line; when it holds
// a password, says why not on stderr.
bool ServerOptionAllowed(const std::string& url);

// The connection for the send at the end of an update, opened now, while the update runs;
// none without a record server (the option, else the RecordServer setting).
std::unique_ptr<EarlyServerConnection> OpenServerEarly(const std::string& serverOption);

// Sends the outbox of the record file to the record server of this run (the option, else
// the RecordServer setting; nothing without one), within the send's time limit. Records
// that could not go wait in the outbox, which one line on stderr says.
// early: the connection opened by OpenServerEarly, if any.
void ForwardOutbox(const std::string& serverOption, const std::string& recordFile,
                   EarlyServerConnection* early = nullptr);
