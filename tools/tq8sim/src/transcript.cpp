#include "transcript.h"

#include <algorithm>
#include <cstdarg>

namespace tq8sim {

Transcript::Transcript(const std::string& file, bool toStderr) : toStderr_(toStderr) {
    if (!file.empty()) {
        file_ = std::fopen(file.c_str(), "a");
        if (file_ == nullptr) {
            std::fprintf(stderr, "tq8sim: cannot open transcript %s\n", file.c_str());
        }
    }
}

Transcript::~Transcript() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void Transcript::Add(std::string line) {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        // Flushed per line: a test reading the file while the machine runs sees every line.
        std::fprintf(file_, "%s\n", line.c_str());
        std::fflush(file_);
    }
    if (toStderr_) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    lines_.push_back(std::move(line));
}

std::vector<std::string> Transcript::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void Transcript::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) {
        return {};
    }
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(length), sizeof buffer - 1));
}

}  // namespace tq8sim
