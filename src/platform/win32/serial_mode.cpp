// The mode text goes to the system's own builder of device-control blocks.

#include <windows.h>

#include "platform/serial.h"
#include "platform/win32/serial_dcb.h"
#include "platform/win32/serial_sys.h"

namespace platform {

bool SerialBuildDeviceControl(const char* mode, DeviceControl& dcb) {
    DCB native = ToDcb(dcb);
    if (!CurrentSerialCalls().BuildCommDCBA(mode, &native)) {
        return false;
    }
    dcb = FromDcb(native);
    return true;
}

}  // namespace platform
