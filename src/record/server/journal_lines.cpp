#include "record/server/journal_lines.h"

#include <utility>

JournalLines::JournalLines(uint64_t from, std::function<bool(const JournalLine&)> line)
    : line_(std::move(line)), start_(from), offset_(from) {}

bool JournalLines::Take(std::string_view bytes) {
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        offset_ += piece.size();
        if (!overlong_ && pending_.size() + piece.size() > kMaxRecordLine) {
            overlong_ = true;
            pending_.clear();
        }
        if (!overlong_) {
            pending_.append(piece);
        }
        if (end == std::string_view::npos) {
            return true;
        }
        bytes.remove_prefix(end + 1);
        ++offset_;
        const JournalLine line{start_, offset_, pending_, overlong_};
        if (!line_(line)) {
            return false;
        }
        pending_.clear();
        overlong_ = false;
        start_ = offset_;
    }
    return true;
}
