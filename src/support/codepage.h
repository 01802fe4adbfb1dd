#pragma once
// Conversions between the program's single-byte texts (Windows code page 1252) and UTF-8.

#include <string>
#include <string_view>

std::string Cp1252ToUtf8(std::string_view text);

// Characters without a CP1252 form become '?'.
std::string Utf8ToCp1252(std::string_view text);
