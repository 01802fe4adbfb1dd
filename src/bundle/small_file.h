#pragma once
// Reads a file that must be small (a manifest, a key, a signature) in bounded memory.

#include <string>

namespace bundle {

enum class SmallFile { Ok, Missing, TooLarge, Error };

SmallFile ReadSmallFile(const std::string& path, size_t limit, std::string& text);

}  // namespace bundle
