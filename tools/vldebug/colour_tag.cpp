#include "colour_tag.h"

namespace vldebug {

ColourTag ParseColourTag(std::string_view text) {
    if (text.size() < 4 || text[0] != '{' || text[1] != 'c' || text[3] != '}') {
        return {Colour::Default, 0};
    }
    switch (text[2]) {
        case 'b':
            return {Colour::Blue, 4};
        case 'g':
            return {Colour::Green, 4};
        case 'r':
            return {Colour::Red, 4};
        case 'y':
            return {Colour::Yellow, 4};
        case 'c':
            return {Colour::Cyan, 4};
        case 'm':
            return {Colour::Magenta, 4};
        default:
            return {Colour::Default, 0};
    }
}

std::string_view AnsiColour(Colour colour) {
    // Bright variants: the dark ones are hard to read on the usual dark terminal.
    switch (colour) {
        case Colour::Blue:
            return "\x1b[94m";
        case Colour::Green:
            return "\x1b[92m";
        case Colour::Red:
            return "\x1b[91m";
        case Colour::Yellow:
            return "\x1b[93m";
        case Colour::Cyan:
            return "\x1b[96m";
        case Colour::Magenta:
            return "\x1b[95m";
        case Colour::Default:
            break;
    }
    return "";
}

}  // namespace vldebug
