#pragma once
// Registry settings of the current user and the bilingual string table.

#include <cstdint>
#include <string>

#include "platform/settings_store.h"
#include "text_ids.h"  // the ids of the string table by name, for LoadText
#include "trace.h"

inline constexpr platform::SettingsRoot HKEY_CURRENT_USER_ROOT = platform::kCurrentUser;
inline constexpr const char* kProgramKey = "SOFTWARE\\Ostrelwerk\\TQ8Flash";
// The program's value that holds the machine's port number (-1 for none).
inline constexpr const char* kInterfaceValue = "Interface";

// Reads a string value into out (size bytes). Returns the byte count the store reported
// (terminator included); 0 when the default was copied instead.
int RegReadString(platform::SettingsRoot root, const char* key, const char* name,
                  const char* defaultText, char* out, int size);

// Reads a 32-bit value into a zeroed variable: shorter values keep zero high bytes,
// longer ones count as missing and give the default.
int32_t RegReadDword(platform::SettingsRoot root, const char* key, const char* name,
                     int32_t defaultValue);

bool RegWriteDword(platform::SettingsRoot root, const char* key, const char* name, int32_t value);

// From now on, what this run writes to the program's value of that name stays with the
// run: its later reads see it, the stored settings never do.
void KeepValueForThisRun(const char* name);

// German texts, menus and dialogs sit this far above their English ids.
inline constexpr int kGermanLanguageOffset = 1000;

// 0 for English, kGermanLanguageOffset for German.
extern int nLanguageOffset;

// The language offset for a locale identifier: German (primary language 7) gives the German offset,
// every other language 0.
int LanguageOffsetForLcid(uint32_t lcid);

inline constexpr int kLoadTextSize = 1023;
inline constexpr int kFormatTextSize = 511;

// The string with the id in the current language (ids below 30000 take the language
// offset). The result lives in a ring of four buffers.
const char* LoadText(unsigned id);

// printf-style formatting into a ring of four 511-character buffers.
const char* FormatText(const char* format, ...) TQ8_PRINTF(1, 2);

// The "RecordFile" value of the program's key: the file the update records go to, ""
// when none is set.
std::string RecordFileSetting();

// The "RecordServer" value of the program's key: the record server's connection string
// (a postgresql:// URL, or libpq's key=value form), "" when none is set.
std::string RecordServerSetting();

// Reads "Interface" and the three trace levels from the program's key.
void ReadStartupSettings();
