#pragma once
// Facts about the running process and its user.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// Full path of the running executable ("" when it cannot be read).
std::string ProgramPath();

// Path separator of the platform's own paths.
char PathSeparator();

// Name of the logged-on user ("" when it cannot be read). Tests may override it.
std::string UserName();
void SetUserNameOverride(const std::string* name);  // nullptr removes the override

// Name of this computer ("" when it cannot be read).
std::string HostName();

// The folder for the user's own data files, without a trailing separator: on POSIX
// $XDG_DATA_HOME, default ~/.local/share; on Win32 the local application data folder.
// "" when none can be found.
std::string UserDataDirectory();

// The user's default locale as a Windows locale identifier; the low 10 bits are the
// primary language (7 German, 9 English, 12 French, ...).
uint32_t UserDefaultLcid();

// Local calendar date.
struct LocalDate {
    int year;
    int month;
    int day;
};
LocalDate Today();

// The short name of a signal that ended a process ("SIGKILL"); "" where signals have no
// names (Win32) or the number names none.
std::string SignalName(int signal);

// Value of an environment variable, or "" when unset.
std::string Environment(const char* name);

// Sets an environment variable for this process and the libraries it loaded; an empty
// value removes it. True on success.
bool SetEnvironment(const char* name, const std::string& value);

}  // namespace platform
