#pragma once
// The texts of the About box and of the system-information command.

#include "platform/types.h"

inline constexpr int kAboutTextCapacity = 1023;
inline constexpr int kSystemInformationCapacity = 260;

// The About box's machine information: the version overview, then serial number, update
// count and date of the last update when the machine answers. Connects on nInterface
// (boxes owned by owner) when no connection exists; a connection opened here stays open.
// While an update holds the connection, only what needs no machine is shown.
void BuildAboutText(WindowHandle owner, char* text, int capacity);

// "|" and, with an open connection, "COM2|Kovra TQ VIII (9600 bps; 8 N 1)|".
void BuildSystemInformationText(char* text, int capacity);
