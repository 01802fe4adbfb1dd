#pragma once
// The JSON documents and lines of tq8flash --json on stdout.

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

// One document or line: compact, ended by a line break, flushed at once so that a
// reader of the pipe sees each line as it comes; on stdout, or where the run's session
// sends them. False when it could not be written.
bool PrintJson(const nlohmann::json& value);
// The same for a line that is JSON already.
bool PrintJsonLine(const std::string& text);
