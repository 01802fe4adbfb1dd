#pragma once
// The record's own reasons, for a console or a trace, in the run's language.

#include <cstdarg>
#include <cstdio>
#include <string>

#include "console_texts.h"
#include "support/settings.h"

inline const char* RecordText(Cli id) {
    const auto index = static_cast<unsigned>(id);
    return nLanguageOffset == kGermanLanguageOffset ? kCliGerman[index] : kCliEnglish[index];
}

// RecordText(id) as a printf format, filled in.
inline std::string RecordFormat(Cli id, ...) {
    char text[1024];
    va_list args;
    va_start(args, id);
    std::vsnprintf(text, sizeof text, RecordText(id), args);
    va_end(args);
    return text;
}
