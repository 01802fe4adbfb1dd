#pragma once
// The thread's last system error code and the system's texts for error codes.

#include <cstdint>
#include <string>

namespace platform {

uint32_t LastError();
void SetLastError(uint32_t code);

// The operating system's message text for the code, whole (line ends included as the
// system gives them); "" when the system has none.
std::string SystemMessage(uint32_t code);

}  // namespace platform
