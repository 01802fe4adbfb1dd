#include "platform/console.h"

#include <unistd.h>

namespace platform {

bool IsTerminal(Stream stream) {
    return ::isatty(static_cast<int>(stream)) == 1;
}

void PrepareConsoleOutput() {}

}  // namespace platform
