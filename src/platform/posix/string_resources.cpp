#include "platform/string_resources.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace platform {
namespace {

struct Entry {
    unsigned id;
    const char* text;
};

constexpr Entry kTable[] = {
#include "string_table.inc"
};

}  // namespace

int LoadStringResource(unsigned id, char* buf, int size) {
    if (size <= 0) {
        return 0;
    }
    const auto* it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                      [](const Entry& e, unsigned key) { return e.id < key; });
    if (it == std::end(kTable) || it->id != id) {
        buf[0] = '\0';
        return 0;
    }
    const size_t n = std::min(std::strlen(it->text), static_cast<size_t>(size - 1));
    std::memcpy(buf, it->text, n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

}  // namespace platform
