#include "platform/errors.h"

#include <cerrno>
#include <cstring>

#include "platform/network_port.h"

namespace platform {

uint32_t LastError() {
    return static_cast<uint32_t>(errno);
}

void SetLastError(uint32_t code) {
    errno = static_cast<int>(code);
}

std::string SystemMessage(uint32_t code) {
    if (std::string own = NetworkPortErrorText(code); !own.empty()) {
        return own;
    }
    // strerrordesc_np knows no text for unknown codes, where strerror would make one up.
    const char* text = ::strerrordesc_np(static_cast<int>(code));
    return text != nullptr ? text : "";
}

}  // namespace platform
