#pragma once
// The portable device-control record and a terminal's settings, both ways. Pure
// functions: the descriptor's settings are read and written by the caller.

#include <termios.h>

#include "platform/serial.h"

namespace platform {

// Writes the record's line settings into tio, which is made raw; what the record does
// not speak of (VMIN, VTIME) is the caller's. False, with tio unusable, for what a
// terminal cannot express: a rate it has no speed for, data bits outside 5 to 8, an
// unknown parity or stop-bit choice, 1.5 stop bits with more than 5 data bits.
bool ToTermios(const DeviceControl& dcb, termios& tio);

// The record as the terminal's settings describe it. With 5 data bits the terminal's
// longer stop is 1.5 bits.
DeviceControl FromTermios(const termios& tio);

// Whether the settings a driver gives back still hold those it may drop without
// failing the call: mark or space parity and 1.5 stop bits. A pseudo-terminal keeps
// neither.
bool KeepsLineSettings(const termios& wanted, const termios& got);

}  // namespace platform
