#include "platform/console.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool IsTerminal(Stream stream) {
    return ::isatty(static_cast<int>(stream)) == 1;
}

bool CursorControlOn(Stream stream) {
    return IsTerminal(stream);
}

std::FILE* SetStandardOutputAside() {
    std::fflush(stdout);
    const int aside = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (aside < 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(aside, "w");
    if (stream == nullptr || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        if (stream != nullptr) {
            std::fclose(stream);
        } else {
            ::close(aside);
        }
        return nullptr;
    }
    return stream;
}

void PrepareConsoleOutput() {}

}  // namespace platform
