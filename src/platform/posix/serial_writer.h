#pragma once
// The helper thread that completes a write the device did not take at once, so that a
// write never blocks its caller.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/posix/serial_port.h"

namespace platform::serial_port {

// Hands bytes [0, count) to a thread that writes them while the caller goes on; the
// record is non-signalled until the thread ends. False with errno EAGAIN, and the record
// signalled, when no thread could start.
bool StartWriter(const std::shared_ptr<Port>& port, const std::shared_ptr<SerialAsyncState>& record,
                 const uint8_t* bytes, size_t count);

// Waits for a writer whose record is signalled already (its write has ended).
void JoinWriter(Port& port);

// Ends the write in flight, if any, and waits for its thread.
void CancelWrite(Port& port);

}  // namespace platform::serial_port
