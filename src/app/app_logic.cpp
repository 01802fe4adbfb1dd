#include "app/app_logic.h"

#include <algorithm>
#include <cstdio>

std::string ProgramDirectoryFromCommandLine(const char* commandLine, const char* modulePath,
                                            size_t capacity) {
    std::string text = commandLine != nullptr ? commandLine : "";
    if (!text.empty() && text.front() == '"') {
        text.erase(0, 1);
        text = text.substr(0, text.find('"'));
    } else {
        // Unquoted, the program's path ends at the first blank: "TQ8Flash C:\fw" started
        // in the program's folder must not take "TQ8Flash C:" for a directory.
        text = text.substr(0, text.find_first_of(" \t"));
    }
    const size_t backslash = text.rfind('\\');
    if (backslash != std::string::npos) {
        text.erase(backslash);
    } else {
        const std::string module = modulePath != nullptr ? modulePath : "";
        const size_t moduleBackslash = module.rfind('\\');
        text = moduleBackslash != std::string::npos ? module.substr(0, moduleBackslash) : ".";
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
