#pragma once
// The texts of the About box and of the system-information command.

#include <cstdint>
#include <optional>

#include "platform/types.h"

class ProtokollTQ8;

inline constexpr int kAboutTextCapacity = 1023;
inline constexpr int kSystemInformationCapacity = 260;

// The About box's machine information: the version overview, then serial number, update
// count and date of the last update when the machine answers. Connects on nInterface
// (boxes owned by owner) when no connection exists; a connection opened here stays open.
// While an update holds the connection, only what needs no machine is shown.
void BuildAboutText(WindowHandle owner, char* text, int capacity);

// What the About box asks after the versions, each value as read (none where the read
// failed): serial number, update count, and the last update's day-month and year.
struct MachineRecordReads {
    std::optional<int16_t> serial;
    std::optional<int16_t> count;
    std::optional<int16_t> dayMonth;
    std::optional<int16_t> year;
};

// Asks them in the About box's order: the date only when the count answered, and then
// both of its parts, also when the first read fails.
MachineRecordReads ReadMachineRecord(ProtokollTQ8& connection);

// "|" and, with an open connection, "COM2|Kovra TQ VIII (9600 bps; 8 N 1)|".
void BuildSystemInformationText(char* text, int capacity);
