#pragma once
// Points in time as the update record writes them.

#include <chrono>
#include <string>
#include <string_view>

// "2024-05-17T09:41:07Z": UTC, ISO 8601, whole seconds.
std::string IsoUtcSeconds(std::chrono::system_clock::time_point when);

// Whether text is such a time, naming a real moment (a day of the calendar, year 1 on).
bool IsIsoUtcSeconds(std::string_view text);
