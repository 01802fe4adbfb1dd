#pragma once
// Watches the trace: while a TraceCapture lives, every line and dump handed to the
// debug-output slots is recorded instead.

#include <cstdint>
#include <string>
#include <vector>

#include "support/trace.h"

struct CapturedDump {
    std::vector<uint8_t> bytes;
    std::string label;
    bool hasAddress;
    uint32_t address;
};

class TraceCapture {
  public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::vector<std::string> Lines() const;  // the texts, without the source prefix
    std::vector<std::string> Sources() const;
    std::vector<CapturedDump> Dumps() const;
    void Clear();

    // Number of lines equal to text / starting with prefix.
    size_t Count(const std::string& text) const;
    size_t CountPrefix(const std::string& prefix) const;
    bool Has(const std::string& text) const { return Count(text) > 0; }

  private:
    debug_slots::Slots saved_;
};

// Sets all four module levels for the life of the object.
class TraceLevels {
  public:
    explicit TraceLevels(int level);
    ~TraceLevels();

  private:
    int file_, protokoll_, srecord_, rs232_;
};
