#pragma once
// The arithmetic of the program's shell, apart from any window: where the program's
// directory is, where a bitmap goes, how the status bar is split, what the clock says.

#include <array>
#include <cstddef>
#include <string>

// The program's directory from the process command line: the program's path cut at its
// last backslash. A quoted path ends at its closing quote; an unquoted one is the longest
// prefix, ending at a blank or at the end, that names the running module (modulePath,
// compared without regard to case). A command line that names the program without any
// directory, or does not name the module at all, gives the module's own directory, so
// firmware and help files are still found beside it. At most capacity - 1 characters are kept.
std::string ProgramDirectoryFromCommandLine(const char* commandLine, const char* modulePath,
                                            size_t capacity);

// Where a bitmap of width x height anchored at (x, y) has its top-left corner: anchor 2
// puts its right edge at x, anchor 6 centres it on (x, y), every other anchor puts the
// corner at (x, y).
inline constexpr int kAnchorRight = 2;
inline constexpr int kAnchorCentre = 6;
struct Point {
    int x;
    int y;
    bool operator==(const Point&) const = default;
};
Point BitmapTopLeft(int x, int y, int width, int height, int anchor);

// The right ends of the status bar's two parts for a client width: the text part ends
// 60 pixels before the edge (but never before 10), the clock takes the rest.
std::array<int, 2> StatusBarPartEnds(int clientWidth);

// The clock part's text: a blank, then the hour padded to two places.
std::string ClockText(int hour, int minute, int second);
