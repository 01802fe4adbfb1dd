#include "platform/serial_probe.h"

#include <windows.h>

#include "platform/serial.h"

namespace platform {

bool SerialProbe(const std::string& portName, SerialProbeAccess access) {
    const std::string path = SerialDevicePath(portName);
    const bool readOnly = access == SerialProbeAccess::ReadOnly;
    HANDLE h = ::CreateFileA(path.c_str(), readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             readOnly ? 0 : FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(h);
    return true;
}

}  // namespace platform
