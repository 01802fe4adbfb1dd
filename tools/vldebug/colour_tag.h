#pragma once
// The colour tag that opens a trace text: "{c", one letter, "}".

#include <string_view>

namespace vldebug {

enum class Colour { Default, Blue, Green, Red, Yellow, Cyan, Magenta };

struct ColourTag {
    Colour colour;
    size_t length;  // characters the tag occupies at the start of the text; 0 for none
};

// The tag at the start of text. Unknown letters are no tag: the text is shown as it is.
ColourTag ParseColourTag(std::string_view text);

// ANSI escape that switches a terminal to colour, and the one that switches back.
std::string_view AnsiColour(Colour colour);
inline constexpr std::string_view kAnsiReset = "\x1b[0m";

}  // namespace vldebug
