#pragma once
// A serial line that is not a local terminal: the serial service's operations on a port
// that another machine's server carries. Calls may come from the port's owner and from
// its event-wait thread at once; an implementation guards its own state.

#include <cstdint>

#include "platform/serial.h"

namespace platform {

class SerialTransport {
  public:
    virtual ~SerialTransport() = default;

    // A descriptor that poll() reports readable when something may have arrived; it stays
    // valid as long as the transport.
    virtual int Fd() const = 0;
    // A descriptor readable once something arrived that another thread took in, so that a
    // wait on Fd() does not miss it. Only the port's owner waits on it and empties it.
    virtual int ArrivalFd() const = 0;
    virtual void TakeArrival() = 0;
    // Takes in what has arrived, without waiting, and counts the data bytes queued.
    // False once the line is gone and nothing is left to read.
    virtual bool Queued(uint32_t& count) = 0;
    // Whether the connection has ended: what is queued is all that will come.
    virtual bool Gone() = 0;
    // Takes up to count queued bytes, never waiting for more.
    virtual bool Read(void* buffer, uint32_t count, uint32_t& read) = 0;
    virtual bool Write(const void* data, uint32_t count) = 0;
    // Applies rate, data bits, parity and stop bits on the far line; false unless the
    // server confirmed each.
    virtual bool SetLine(const DeviceControl& dcb) = 0;
    virtual bool GetLine(DeviceControl& dcb) = 0;
    virtual bool Purge(uint32_t flags) = 0;
    // Ends the connection; waits on Fd() in other threads return.
    virtual void Shutdown() = 0;
};

}  // namespace platform
