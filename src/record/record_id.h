#pragma once
// The record's "id": a UUID that names one record wherever it is kept, so that a record
// that reaches the record server twice is stored once.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// A new random UUID (version 4) from the system's random source; "" when the system gave
// no random bytes, and the record then goes without an id.
std::string NewRecordId();

// The 16 bytes as a UUID's text, "0f8fad5b-d9cb-469f-a165-70867728950e".
std::string UuidText(const std::array<uint8_t, 16>& bytes);

// Whether text is a UUID in that form (either case).
bool IsRecordId(std::string_view text);
