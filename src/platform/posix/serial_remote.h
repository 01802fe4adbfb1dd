#pragma once
// The serial service's operations on a network port, where the line is a transport
// (serial_transport.h) and not a terminal.

#include <string>

#include "platform/posix/serial_port.h"

namespace platform::serial_port {

// Opens "rfc2217://HOST:PORT" as a port of the registry.
SerialHandle OpenRemote(const std::string& name);
// What read() would give: the count taken, -1 with EAGAIN when nothing is queued, 0 once
// the connection has ended and nothing is left.
ssize_t RemoteRead(Port& port, void* buffer, uint32_t count);
bool RemoteWrite(Port& port, const void* data, uint32_t count);
bool RemoteWaitEvent(Port& port, uint32_t& events);
SerialWaitResult RemoteWaitData(Port& port, uint32_t count, uint32_t ms, int uiWake);

}  // namespace platform::serial_port
