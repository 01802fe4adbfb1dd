#include "cli/record_forward.h"

#include <cstdio>

#include "cli/console_text.h"
#include "record/record_server.h"

bool ServerOptionAllowed(const std::string& url) {
    if (!ConnectionHasPassword(url)) {
        return true;
    }
    std::fprintf(stderr, "%s\n", ConsoleText(Cli::kServerPasswordInUrl));
    return false;
}

std::unique_ptr<EarlyServerConnection> OpenServerEarly(const std::string& serverOption) {
    const std::string url = RecordServerBuilt() ? RecordServerUrl(serverOption) : std::string();
    return url.empty() ? nullptr : std::make_unique<EarlyServerConnection>(url, kForwardLimitMs);
}

void ForwardOutbox(const std::string& serverOption, const std::string& recordFile,
                   EarlyServerConnection* early) {
    if (!RecordServerBuilt()) {
        if (!serverOption.empty()) {
            std::fprintf(stderr, "%s\n", ConsoleText(Cli::kServerUnavailable));
        }
        return;
    }
    const std::string url = RecordServerUrl(serverOption);
    if (url.empty() || recordFile.empty()) {
        return;
    }
    const ForwardResult result = ForwardRecords(recordFile, url, kForwardLimitMs, early);
    if (!result.error.empty()) {
        std::fprintf(
            stderr, "%s\n",
            ConsoleFormat(Cli::kForwardFailed, result.error.c_str(), recordFile.c_str()).c_str());
    }
}
