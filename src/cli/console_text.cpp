#include "cli/console_text.h"

#include <cstdarg>
#include <cstdio>

#include "support/codepage.h"
#include "support/settings.h"

static_assert(std::size(kCliEnglish) == kCliTextCount && std::size(kCliGerman) == kCliTextCount);

// Windows texts break lines with CR LF; a terminal wants LF alone.
std::string TerminalText(const char* text) {
    std::string out;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        if (*p != '\r') {
            out += *p;
        }
    }
    return Cp1252ToUtf8(out);
}

const char* ConsoleText(Cli id) {
    const auto index = static_cast<unsigned>(id);
    return nLanguageOffset == kGermanLanguageOffset ? kCliGerman[index] : kCliEnglish[index];
}

std::string ConsoleFormat(Cli id, ...) {
    // Both tables carry the same conversions for every text; the generator checks it.
    const char* format = ConsoleText(id);
    std::va_list args;
    va_start(args, id);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

std::vector<std::string> ConsoleColumns(Cli id) {
    std::vector<std::string> columns(1);
    for (const char* p = ConsoleText(id); *p != '\0'; ++p) {
        if (*p == '\t') {
            columns.emplace_back();
        } else {
            columns.back() += *p;
        }
    }
    return columns;
}

size_t TerminalWidth(const std::string& text) {
    size_t width = 0;
    for (const char c : text) {
        // A continuation byte belongs to the character before it.
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return width;
}
