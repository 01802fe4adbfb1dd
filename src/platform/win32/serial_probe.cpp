#include "platform/serial_probe.h"

#include <windows.h>

#include "platform/serial.h"
#include "platform/win32/unique_handle.h"

namespace platform {

bool SerialProbe(const std::string& portName, SerialProbeAccess access) {
    const std::string path = SerialDevicePath(portName);
    const bool readOnly = access == SerialProbeAccess::ReadOnly;
    const UniqueHandle h(::CreateFileA(
        path.c_str(), readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
        nullptr, OPEN_EXISTING, readOnly ? 0 : FILE_FLAG_OVERLAPPED, nullptr));
    return static_cast<bool>(h);
}

}  // namespace platform
