#pragma once
// The replaceable table of system calls below the serial service. Each target declares
// its own SerialCalls (posix/serial_sys.h, win32/serial_sys.h) and defines the native
// table; the switch between tables is this one for both.
//
// Swapping the table is safe while a port's poll thread runs: the switch is atomic and
// every system call reads the table anew. A table a test sets must outlive every call
// that may still be running through it, so tests restore before it goes away.

namespace platform {

struct SerialCalls;

const SerialCalls& CurrentSerialCalls();
const SerialCalls& NativeSerialCalls();
void SetSerialCalls(const SerialCalls& calls);
void RestoreSerialCalls();

}  // namespace platform
