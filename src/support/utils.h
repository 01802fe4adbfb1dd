#pragma once
// Small helpers shared by every module.

#include <cstddef>
#include <cstdint>

// Milliseconds of the system's millisecond timer. Differences of two readings are
// taken modulo 2^32 (see ElapsedMs).
uint32_t GetTimeMs();

// Milliseconds from an earlier reading to a later one, correct across the wrap at 2^32.
inline uint32_t ElapsedMs(uint32_t since, uint32_t now) {
    return now - since;
}

// Lets pending window messages run: dispatches until the queue is empty or more than
// limit messages have run, and yields the time slice when none was pending. True when it
// stopped at its limit, so that more may be pending.
bool PumpMessages(unsigned limit);

// Bounded copy: at most min(count, size + 1) - 1 characters, then a terminator at
// count - 1. A count of -1 means the size. Returns dest.
char* CopyString(char* dest, const char* src, int size, int count = -1);

// Appends src behind the text in dest; the result never exceeds size - 1 characters.
void AppendString(char* dest, const char* src, int size);

// Replaces the first c in text by a terminator and returns its position, or nullptr.
char* CutAtChar(char* text, char c);

// The part of a path after its last separator, or the whole path.
const char* GetFileNamePart(const char* path);

// '?' matches one character, '*' ends with a match, the pattern acts as a prefix; an
// absent pattern matches everything.
bool MatchPattern(const char* text, const char* pattern);

// CRC-32 of IEEE 802.3 (reflected 0x04C11DB7, initial and final XOR 0xFFFFFFFF).
uint32_t Crc32(const void* data, size_t length);

// Continues a CRC-32 over further bytes: Crc32Update(Crc32Update(0, a), b) = Crc32(ab).
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);

void XorBuffer(void* data, uint8_t value, size_t length);

// The system's text for an error code, at most 254 characters, trailing line breaks
// removed; "" when there is none. The buffer belongs to the calling thread and is
// overwritten by its next call.
const char* GetSystemErrorText(uint32_t code);

// Shows the system's text for the code in an error box owned by hMainWnd, with the
// caption; shows nothing when the system has no text.
void ShowSystemError(const char* caption, uint32_t code);
