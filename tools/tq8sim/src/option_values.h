// The values of tq8sim's options, from their words on the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tq8sim {

// A decimal, 0x-hex or 0-octal number up to max; no sign, no trailing text.
std::optional<uint32_t> ParseUnsigned(const std::string& text, uint32_t max);
// -32768..65535; above 32767 the word's bits, as the machine stores it.
std::optional<int16_t> ParseVariableValue(const std::string& text);
// A command code from its number or its name ("ReadVariable", "devtype").
std::optional<uint16_t> ParseCommand(const std::string& text);
// "CMD[:COUNT]"; count -1 when none is given (every time).
bool ParseCommandCount(const std::string& text, uint16_t* command, int* count);
// "41 42", "4142", "0x41,0x42" all give {0x41, 0x42}.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text);
// "A=B" into its two halves; false without the separator.
bool SplitPair(const std::string& text, char separator, std::string* left, std::string* right);

}  // namespace tq8sim
