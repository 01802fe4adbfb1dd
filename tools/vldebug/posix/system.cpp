// The library's view of a POSIX system.

#include "system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace vldebug {

std::string ReadEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::FILE* OpenForAppend(const std::string& path, bool refuseLink) {
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | (refuseLink ? O_NOFOLLOW : 0);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "a");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void WriteStderr(Colour colour, std::string_view text) {
    const std::string_view on = AnsiColour(colour);
    std::string out;
    out.reserve(on.size() + text.size() + kAnsiReset.size());
    out += on;
    out += text;
    if (!on.empty()) {
        // Back to the terminal's colour before the last line break, so that nothing the
        // next writer prints is coloured, not even the start of its line.
        const size_t end = !out.empty() && out.back() == '\n' ? out.size() - 1 : out.size();
        out.insert(end, kAnsiReset);
    }
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

}  // namespace vldebug
