#include "cli/json_out.h"

namespace {

std::FILE* gStream = nullptr;
JsonReaderGone gReaderGone = nullptr;

}  // namespace

bool PrintJsonLine(const std::string& text) {
    std::FILE* out = gStream != nullptr ? gStream : stdout;
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
    const bool written = std::fflush(out) == 0 && std::ferror(out) == 0;
    if (!written && gReaderGone != nullptr) {
        gReaderGone();
    }
    return written;
}

bool PrintJson(const nlohmann::json& value) {
    return PrintJsonLine(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void SetJsonOutput(std::FILE* stream, JsonReaderGone gone) {
    gStream = stream;
    gReaderGone = gone;
}
