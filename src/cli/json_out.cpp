#include "cli/json_out.h"

#include "cli/console_session.h"

bool PrintJsonLine(const std::string& text) {
    const ConsoleSession* session = ConsoleSession::Current();
    std::FILE* out =
        session != nullptr && session->jsonStream != nullptr ? session->jsonStream : stdout;
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
    const bool written = std::fflush(out) == 0 && std::ferror(out) == 0;
    if (!written && session != nullptr && session->jsonReaderGone != nullptr) {
        session->jsonReaderGone();
    }
    return written;
}

bool PrintJson(const nlohmann::json& value) {
    return PrintJsonLine(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}
