#pragma once
// The memory block of a firmware image. It belongs to whoever holds the object, on every
// path; the bytes are reached while the block is locked, as with a movable block.

#include <cstdint>
#include <span>
#include <vector>

class MemoryImage {
  public:
    // Replaces the block with one of size bytes (contents undefined until filled).
    // False, and no block, when the memory cannot be had.
    bool Allocate(uint32_t size);
    void Free();

    bool Empty() const { return bytes_.empty(); }
    uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }

    // Lock hands out the bytes; every Lock is matched by an Unlock.
    std::span<uint8_t> Lock();
    void Unlock();
    int LockCount() const { return locks_; }

    // The bytes for reading, without locking.
    std::span<const uint8_t> Bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    int locks_ = 0;
};
