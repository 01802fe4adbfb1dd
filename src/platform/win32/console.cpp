#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace platform {

std::FILE* SetStandardOutputAside() {
    std::fflush(stdout);
    const int aside = ::_dup(_fileno(stdout));
    if (aside < 0) {
        return nullptr;
    }
    std::FILE* stream = ::_fdopen(aside, "w");
    if (stream == nullptr || ::_dup2(_fileno(stderr), _fileno(stdout)) != 0) {
        if (stream != nullptr) {
            std::fclose(stream);
        } else {
            ::_close(aside);
        }
        return nullptr;
    }
    // The handle too, for whatever writes to it rather than to the C stream.
    ::SetStdHandle(STD_OUTPUT_HANDLE, ::GetStdHandle(STD_ERROR_HANDLE));
    return stream;
}

bool IsTerminal(Stream stream) {
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE handle = ::GetStdHandle(ids[static_cast<int>(stream)]);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

bool CursorControlOn(Stream stream) {
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE handle = ::GetStdHandle(ids[static_cast<int>(stream)]);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void PrepareConsoleOutput() {
    ::SetConsoleOutputCP(CP_UTF8);
}

}  // namespace platform
