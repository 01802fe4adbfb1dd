#pragma once
// How late the machine's answers come beyond the line's own time, learned from the
// command exchanges of a connection, and what that lateness costs a download. A device
// server that holds back what the line sends, or an adapter that batches it, shows here.

#include <cstdint>
#include <vector>

class AnswerTiming {
  public:
    // One exchange: bytes sent and received at the rate, from the first byte written to
    // the answer's arrival, in microseconds.
    void Record(uint32_t bytes, uint32_t rate, uint64_t tookUs);
    // The median lateness of the recorded exchanges; 0 without any.
    uint64_t LatenessUs() const;

  private:
    std::vector<uint64_t> lateness_;
};

// The share by which answers late by latenessUs lengthen a download at the rate: each
// 32-byte block waits for its one-byte acknowledgement.
double DownloadSlowdown(uint64_t latenessUs, uint32_t rate);

// Above this share the update warns before it downloads.
inline constexpr double kSlowdownWarned = 0.10;
