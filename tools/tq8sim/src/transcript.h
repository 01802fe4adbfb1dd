// Lines that tell what the machine saw and answered: kept in memory for tests, and
// optionally appended to a file and echoed to standard error.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace tq8sim {

class Transcript {
  public:
    Transcript(const std::string& file, bool toStderr);
    ~Transcript();
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    void Add(std::string line);
    std::vector<std::string> Lines() const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::FILE* file_ = nullptr;
    bool toStderr_;
};

// printf into a std::string, for building transcript lines.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tq8sim
