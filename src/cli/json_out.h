#pragma once
// The JSON documents and lines of tq8flash --json on stdout.

#include <cstdio>
#include <nlohmann/json.hpp>

// One document or line: compact, ended by a line break, flushed at once so that a
// reader of the pipe sees each line as it comes.
inline void PrintJson(const nlohmann::json& value) {
    const std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
