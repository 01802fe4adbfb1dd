#include "app/app_logic.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

namespace {

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Windows starts "C:\x\TQ8Flash" as "C:\x\TQ8Flash.exe", so both name the module.
bool NamesModule(std::string_view candidate, std::string_view module) {
    constexpr std::string_view kExtension = ".exe";
    if (SameTextIgnoringCase(candidate, module)) {
        return true;
    }
    return module.size() == candidate.size() + kExtension.size() &&
           SameTextIgnoringCase(candidate, module.substr(0, candidate.size())) &&
           SameTextIgnoringCase(kExtension, module.substr(candidate.size()));
}

// An unquoted path may hold blanks ("C:\Program Files\TQ8\TQ8Flash.exe /x"), and so may
// its arguments: the path is the longest prefix, ending at a blank or at the end, that
// names the running module. Empty when none does.
std::string UnquotedModulePath(const std::string& commandLine, std::string_view module) {
    for (size_t end = commandLine.size();; --end) {
        const bool atWordEnd =
            end == commandLine.size() || commandLine[end] == ' ' || commandLine[end] == '\t';
        if (end > 0 && atWordEnd &&
            NamesModule(std::string_view(commandLine).substr(0, end), module)) {
            return commandLine.substr(0, end);
        }
        if (end == 0) {
            return {};
        }
    }
}

std::string DirectoryOf(const std::string& path) {
    const size_t backslash = path.rfind('\\');
    return backslash != std::string::npos ? path.substr(0, backslash) : std::string{};
}

}  // namespace

std::string ProgramDirectoryFromCommandLine(const char* commandLine, const char* modulePath,
                                            size_t capacity) {
    const std::string line = commandLine != nullptr ? commandLine : "";
    const std::string module = modulePath != nullptr ? modulePath : "";
    std::string program;
    if (!line.empty() && line.front() == '"') {
        program = line.substr(1, line.find('"', 1) - 1);
    } else if (!module.empty()) {
        program = UnquotedModulePath(line, module);
    } else {
        // Without the module's name to compare with, the first word is the best guess.
        program = line.substr(0, line.find_first_of(" \t"));
    }
    // A bare name, or a command line that does not name this module at all: the files sit
    // beside the module wherever it was started from.
    std::string text = DirectoryOf(program);
    if (text.empty()) {
        text = DirectoryOf(module);
    }
    if (text.empty()) {
        text.push_back('.');
    }
    if (capacity == 0) {
        return {};
    }
    if (text.size() > capacity - 1) {
        text.resize(capacity - 1);
    }
    return text;
}

Point BitmapTopLeft(int x, int y, int width, int height, int anchor) {
    switch (anchor) {
        case kAnchorRight:
            return {x - width, y};
        case kAnchorCentre:
            return {x - width / 2, y - height / 2};
        default:
            return {x, y};
    }
}

std::array<int, 2> StatusBarPartEnds(int clientWidth) {
    return {std::max(clientWidth - 60, 10), clientWidth};
}

std::string ClockText(int hour, int minute, int second) {
    char text[32];
    std::snprintf(text, sizeof text, " %2d:%02d:%02d", hour, minute, second);
    return text;
}
