#pragma once
// Points in time as the update record writes them.

#include <chrono>
#include <string>

// "2024-05-17T09:41:07Z": UTC, ISO 8601, whole seconds.
std::string IsoUtcSeconds(std::chrono::system_clock::time_point when);
