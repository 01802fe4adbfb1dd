#include "platform/string_resources.h"

#include <windows.h>

namespace platform {

int LoadStringResource(unsigned id, char* buf, int size) {
    if (size <= 0) {
        return 0;
    }
    buf[0] = '\0';
    const int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, buf, size);
    if (n <= 0) {
        buf[0] = '\0';
        return 0;
    }
    return n;
}

}  // namespace platform
