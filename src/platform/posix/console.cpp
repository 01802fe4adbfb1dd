#include "platform/console.h"

#include <unistd.h>

namespace platform {

bool IsTerminal(Stream stream) {
    return ::isatty(static_cast<int>(stream)) == 1;
}

bool CursorControlOn(Stream stream) {
    return IsTerminal(stream);
}

void PrepareConsoleOutput() {}

}  // namespace platform
