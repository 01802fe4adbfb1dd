#include "option_values.h"

#include <strings.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "commands.h"
#include "tq8sim/simulator.h"

namespace tq8sim {

std::optional<uint32_t> ParseUnsigned(const std::string& text, uint32_t max) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value > max) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::optional<int16_t> ParseVariableValue(const std::string& text) {
    if (!text.empty() && text[0] == '-') {
        const auto magnitude = ParseUnsigned(text.substr(1), 32768);
        if (!magnitude) {
            return std::nullopt;
        }
        return static_cast<int16_t>(-static_cast<int32_t>(*magnitude));
    }
    const auto value = ParseUnsigned(text, 0xFFFF);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<int16_t>(static_cast<uint16_t>(*value));
}

bool SplitPair(const std::string& text, char separator, std::string* left, std::string* right) {
    const auto at = text.find(separator);
    if (at == std::string::npos) {
        return false;
    }
    *left = text.substr(0, at);
    *right = text.substr(at + 1);
    return true;
}

std::optional<uint16_t> ParseCommand(const std::string& text) {
    if (strcasecmp(text.c_str(), "devtype") == 0) {
        return kDeviceTypeCommand;
    }
    if (const CommandSpec* command = FindCommand(std::string_view(text))) {
        return command->code;
    }
    const auto number = ParseUnsigned(text, 0xFFFF);
    if (!number) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(*number);
}

bool ParseCommandCount(const std::string& text, uint16_t* command, int* count) {
    std::string name = text;
    std::string countText;
    SplitPair(text, ':', &name, &countText);
    const auto code = ParseCommand(name);
    if (!code) {
        return false;
    }
    *command = *code;
    *count = -1;
    if (!countText.empty()) {
        const auto parsed = ParseUnsigned(countText, 1000000);
        if (!parsed || *parsed == 0) {
            return false;
        }
        *count = static_cast<int>(*parsed);
    }
    return true;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string digits;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == ',' || text[i] == ':') {
            ++i;
            continue;
        }
        if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            i += 2;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
        digits += text[i++];
        // Two digits make a byte unless a separator ends a single one.
        if (digits.size() == 2 || i == text.size() ||
            !std::isxdigit(static_cast<unsigned char>(text[i]))) {
            bytes.push_back(static_cast<uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
            digits.clear();
        }
    }
    if (bytes.empty()) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace tq8sim
