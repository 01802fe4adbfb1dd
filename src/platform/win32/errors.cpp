#include "platform/errors.h"

#include <windows.h>

#include "platform/network_port.h"

namespace platform {

uint32_t LastError() {
    return ::GetLastError();
}

void SetLastError(uint32_t code) {
    ::SetLastError(code);
}

std::string SystemMessage(uint32_t code) {
    if (std::string own = NetworkPortErrorText(code); !own.empty()) {
        return own;
    }
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
        nullptr);
    std::string result;
    if (n > 0 && text != nullptr) {
        result.assign(text, n);
    }
    if (text != nullptr) {
        ::LocalFree(text);
    }
    return result;
}

}  // namespace platform
