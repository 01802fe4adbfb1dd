#pragma once
// What the tests of the real debug-output library share: a log file of each case's own,
// and the facts of the running test program.

#include <string>
#include <vector>

#include "support/trace.h"

// Names a fresh log file in VLDEBUG_LOG while it lives; removes the file afterwards.
class TestLog {
  public:
    TestLog();
    ~TestLog();
    TestLog(const TestLog&) = delete;
    TestLog& operator=(const TestLog&) = delete;

    const std::string& Path() const { return path_; }
    std::vector<std::string> Lines() const;  // without line ends

  private:
    std::string path_;
};

// Which of the six slots hold something other than their fallback, in slot order.
std::vector<bool> BoundSlots(const debug_slots::Slots& fallbacks);

// The slots as they are with nothing bound.
debug_slots::Slots FallbackSlots();
