#include "log_writer.h"

#include <filesystem>
#include <system_error>

#include "colour_tag.h"
#include "hex_dump.h"
#include "system.h"

namespace vldebug {

namespace {

std::string DefaultLogFilePath() {
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error) {
        return "VLdebug.log";
    }
    return (temp / "VLdebug.log").string();
}

const std::string& DefaultPath() {
    // Looking the temporary directory up costs a file system call; once is enough.
    static const std::string path = DefaultLogFilePath();
    return path;
}

}  // namespace

std::string LogFilePath() {
    std::string path = ReadEnvironment("VLDEBUG_LOG");
    return path.empty() ? DefaultPath() : path;
}

bool EchoToStderr() {
    const std::string setting = ReadEnvironment("VLDEBUG_STDERR");
    if (setting == "1") {
        return true;
    }
    if (setting == "0") {
        return false;
    }
    static const bool terminal = StderrIsTerminal();
    return terminal;
}

LogWriter& LogWriter::Instance() {
    static LogWriter writer;
    return writer;
}

std::FILE* LogWriter::File() {
    // The log may be moved while the program runs (tests point each case at a file of its
    // own), so the setting is read again for every line.
    const std::string path = LogFilePath();
    if (file_ && path == path_) {
        return file_.get();
    }
    // A log named on purpose may be any file, a link to a terminal say; the default one
    // lies in a directory that others can write to.
    file_.reset(OpenForAppend(path, path == DefaultPath()));
    path_ = file_ ? path : std::string();
    return file_.get();
}

bool LogWriter::Emit(const std::string& logText, std::string_view shownText,
                     std::string_view tagged) {
    bool written = false;
    if (std::FILE* file = File()) {
        written = std::fwrite(logText.data(), 1, logText.size(), file) == logText.size();
        written = std::fflush(file) == 0 && written;
    }
    if (EchoToStderr()) {
        WriteStderr(ParseColourTag(tagged).colour, shownText);
    }
    return written;
}

bool LogWriter::WriteLine(std::string_view source, std::string_view text) {
    std::string line;
    line.reserve(source.size() + text.size() + 1);
    line += source;
    line += text;
    line += '\n';
    // On the terminal the colour stands for the tag.
    const ColourTag tag = ParseColourTag(text);
    std::string shown;
    shown.reserve(line.size());
    shown += source;
    shown += text.substr(tag.length);
    shown += '\n';
    std::lock_guard<std::mutex> lock(mutex_);
    return Emit(line, shown, text);
}

bool LogWriter::WriteDump(const uint8_t* data, size_t count, std::string_view label,
                          std::optional<uint32_t> startAddress) {
    if (data == nullptr) {
        count = 0;
    }
    std::string head(label);
    head += std::to_string(count);
    head += count == 1 ? " byte\n" : " bytes\n";
    std::string rows;
    AppendHexRows(rows, data, count, startAddress ? RowHead::Address : RowHead::Offset,
                  startAddress.value_or(0));
    const ColourTag tag = ParseColourTag(label);
    const std::string logText = head + rows;
    const std::string shown = head.substr(tag.length) + rows;
    std::lock_guard<std::mutex> lock(mutex_);
    return Emit(logText, shown, label);
}

}  // namespace vldebug
