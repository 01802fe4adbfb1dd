#pragma once
// Writes one memory image into the machine's flash through the current connection:
// start (erase), 32-byte blocks each acknowledged, a trailer of XOR byte and 32-bit sum.

#include <cstdint>
#include <optional>

#include "platform/types.h"

inline constexpr uint32_t kDownloadBlockSize = 32;

// How a download went, for the update's report.
struct DownloadResult {
    enum class Failure { None, Start, Block, Trailer, Stopped };
    Failure failure = Failure::None;
    uint32_t block = 0;                  // with Block and Stopped: the block's number, from 0
    std::optional<uint32_t> trailerSum;  // the trailer's 32-bit sum, once sent
};

// 1 when the machine acknowledged the whole transfer including the trailer, else 0.
// data holds size bytes for the machine addresses start..start + size - 1; start and
// size are multiples of 32. Shows a progress window owned by owner while it runs. With
// result given, it tells where a failed download stopped. The run's stop signal
// (platform/interrupt.h) fails it at its next block boundary, as if the block had not
// been acknowledged.
int RawDownload(WindowHandle owner, const uint8_t* data, uint32_t start, uint32_t size,
                const char* caption, DownloadResult* result = nullptr);
