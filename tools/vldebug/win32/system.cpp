// The library's view of Windows.

#include "system.h"

#include <windows.h>

#include <cstdio>

namespace vldebug {

namespace {

// Console attributes for each colour, bright like the ANSI ones elsewhere.
WORD ConsoleAttribute(Colour colour, WORD original) {
    const WORD background = original & 0xF0;
    switch (colour) {
        case Colour::Blue:
            return background | FOREGROUND_BLUE | FOREGROUND_INTENSITY;
        case Colour::Green:
            return background | FOREGROUND_GREEN | FOREGROUND_INTENSITY;
        case Colour::Red:
            return background | FOREGROUND_RED | FOREGROUND_INTENSITY;
        case Colour::Yellow:
            return background | FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY;
        case Colour::Cyan:
            return background | FOREGROUND_GREEN | FOREGROUND_BLUE | FOREGROUND_INTENSITY;
        case Colour::Magenta:
            return background | FOREGROUND_RED | FOREGROUND_BLUE | FOREGROUND_INTENSITY;
        case Colour::Default:
            break;
    }
    return original;
}

}  // namespace

std::string ReadEnvironment(const char* name) {
    // The Win32 environment block, not a C runtime's copy: the program and this library
    // may use different runtimes, and only the block is shared.
    char buf[1024];
    const DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
    if (n == 0) {
        return {};
    }
    if (n < sizeof buf) {
        return std::string(buf, n);
    }
    std::string value(n, '\0');
    const DWORD m = ::GetEnvironmentVariableA(name, value.data(), n);
    value.resize(m < n ? m : 0);
    return value;
}

std::FILE* OpenForAppend(const std::string& path, bool /*refuseLink*/) {
    // The temporary directory is the user's own on Windows.
    return std::fopen(path.c_str(), "a");
}

bool StderrIsTerminal() {
    HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

void WriteStderr(Colour colour, std::string_view text) {
    HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const bool console = ::GetConsoleScreenBufferInfo(handle, &info) != 0;
    std::fflush(stderr);
    if (console) {
        ::SetConsoleTextAttribute(handle, ConsoleAttribute(colour, info.wAttributes));
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    if (console) {
        ::SetConsoleTextAttribute(handle, info.wAttributes);
    }
}

}  // namespace vldebug
