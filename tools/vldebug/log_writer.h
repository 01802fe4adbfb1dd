#pragma once
// The one place where lines and dumps leave the library: the log file, and stderr when
// it is a terminal. One lock around both, so a line or a whole dump is never split by
// another thread's output.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vldebug {

// The log file: VLDEBUG_LOG, else VLdebug.log in the temporary directory.
std::string LogFilePath();

// Whether lines are echoed to stderr: VLDEBUG_STDERR=1 always, =0 never, otherwise when
// stderr is a terminal.
bool EchoToStderr();

class LogWriter {
  public:
    static LogWriter& Instance();

    // Writes source, text and a line break. True when the line reached the log file.
    bool WriteLine(std::string_view source, std::string_view text);

    // Writes the label line and the rows of a dump. startAddress heads the rows with
    // running addresses; without it they show offsets.
    bool WriteDump(const uint8_t* data, size_t count, std::string_view label,
                   std::optional<uint32_t> startAddress);

  private:
    LogWriter() = default;

    // Both under mutex_.
    bool Emit(const std::string& logText, std::string_view shownText, std::string_view tagged);
    std::FILE* File();

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::mutex mutex_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::string path_;  // the path file_ was opened with
};

}  // namespace vldebug
