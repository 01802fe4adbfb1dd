#pragma once
// The record file's complete lines with their places in the file, read in pieces. A line
// still without its end (being written, or cut back) is never handed on.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "record/record_log.h"

struct JournalLine {
    uint64_t start = 0;  // offset of its first byte
    uint64_t end = 0;    // offset just past its line end
    std::string_view text;
    bool overlong = false;  // longer than a record can be; text is then empty
};

class JournalLines {
  public:
    // line returns false to stop the reading.
    JournalLines(uint64_t from, std::function<bool(const JournalLine&)> line);
    bool Take(std::string_view bytes);

  private:
    std::function<bool(const JournalLine&)> line_;
    std::string pending_;
    uint64_t start_;
    uint64_t offset_;
    bool overlong_ = false;
};
