#pragma once
// One byte read ahead of the caller while it waits for an answer. Neither the event wait
// nor wine tell of a character when it arrives (wine looks about each millisecond), but a
// read that waits for its first byte ends the moment that byte is there: the wait for an
// answer then ends with its first byte instead of on the next look at the queue. The byte
// taken stays here until the caller reads; the queue's count includes it.

#include <windows.h>

#include <cstdint>

#include "platform/win32/unique_handle.h"

namespace platform {

class SerialReadAhead {
  public:
    bool Create();

    // Starts the read unless one is in flight or a byte is held. Only this read waits: the
    // port's own time-outs ('own') are put back as soon as it is under way.
    void Start(HANDLE file, const COMMTIMEOUTS& own);
    // Takes the result of a read that has ended, without waiting.
    void Settle(HANDLE file);
    // Ends a read still in flight and keeps its byte if one had come. Before every other
    // read of the port (a waiting read would hold a driver's later reads back) and before
    // the read's buffer goes away.
    void Finish(HANDLE file);

    bool InFlight() const { return pending; }
    HANDLE Event() const { return event.Get(); }
    uint32_t Held() const { return held ? 1 : 0; }
    // Hands the held byte over; false when none is held.
    bool Take(uint8_t& out);
    void Drop() { held = false; }

  private:
    void Completed(HANDLE file, BOOL waitForIt);

    UniqueHandle event;  // signalled when the read has ended
    OVERLAPPED ov{};
    uint8_t byte = 0;
    bool pending = false;
    bool held = false;
};

}  // namespace platform
