#include "image/memory_image.h"

#include <new>

bool MemoryImage::Allocate(uint32_t size) {
    Free();
    try {
        bytes_.resize(size);
    } catch (const std::bad_alloc&) {
        Free();
        return false;
    }
    return true;
}

void MemoryImage::Free() {
    std::vector<uint8_t>().swap(bytes_);
    locks_ = 0;
}

std::span<uint8_t> MemoryImage::Lock() {
    ++locks_;
    return bytes_;
}

void MemoryImage::Unlock() {
    if (locks_ > 0) {
        --locks_;
    }
}
