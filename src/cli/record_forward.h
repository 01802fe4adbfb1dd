#pragma once
// The send to the record server that follows the records of a run.

#include <string>

// Whether a --record-server or --server URL may stand on the command line; when it holds
// a password, says why not on stderr.
bool ServerOptionAllowed(const std::string& url);

// Sends the outbox of the record file to the record server of this run (the option, else
// the RecordServer setting; nothing without one), within the send's time limit. Records
// that could not go wait in the outbox, which one line on stderr says.
void ForwardOutbox(const std::string& serverOption, const std::string& recordFile);
