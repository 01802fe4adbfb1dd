#pragma once
// What a program knows around an update, gathered for its record.

#include <chrono>

#include "record/record_line.h"

// Measures one update from its start: its time and the port it started on.
class UpdateStopwatch {
  public:
    explicit UpdateStopwatch(int portAtStart);

    // The context once the update is over: the port it ended on (the one it started on
    // when a Cancel in the interface selection left none), the device behind that port
    // by its stable name (/dev/serial/by-id/...) where one exists,
    // host, user and the duration.
    RecordContext Context(const char* program, const char* version, int exitCode) const;

  private:
    std::chrono::system_clock::time_point start_;
    std::chrono::steady_clock::time_point begin_;
    int portAtStart_;
};
