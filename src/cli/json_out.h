#pragma once
// The JSON documents and lines of tq8flash --json on stdout.

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

// One document or line: compact, ended by a line break, flushed at once so that a
// reader of the pipe sees each line as it comes. False when it could not be written.
bool PrintJson(const nlohmann::json& value);
// The same for a line that is JSON already.
bool PrintJsonLine(const std::string& text);

// Where the lines go instead of stdout (a line's child keeps stdout for its parent), and
// whom to tell, on the writing thread, when a line could not be written: its reader has
// gone. nullptr for stdout and for nobody.
using JsonReaderGone = void (*)();
void SetJsonOutput(std::FILE* stream, JsonReaderGone gone);
