#pragma once
// The program's string table (Win32 resources, or the table compiled in on POSIX).

namespace platform {

// Copies the string with the id into buf (at most size - 1 characters, terminated) and
// returns its length; 0 and an empty buf when there is no such string.
int LoadStringResource(unsigned id, char* buf, int size);

}  // namespace platform
