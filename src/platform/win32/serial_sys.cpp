#include "platform/win32/serial_sys.h"

namespace platform {

const SerialCalls& NativeSerialCalls() {
    // Built on first use: the addresses come from the system's import table.
    static const SerialCalls native{::CreateFileA,
                                    ::CloseHandle,
                                    ::SetupComm,
                                    ::BuildCommDCBA,
                                    ::GetCommState,
                                    ::SetCommState,
                                    ::GetCommTimeouts,
                                    ::SetCommTimeouts,
                                    ::GetCommMask,
                                    ::SetCommMask,
                                    ::WaitCommEvent,
                                    ::ClearCommError,
                                    ::PurgeComm,
                                    ::ReadFile,
                                    ::WriteFile,
                                    ::GetOverlappedResult,
                                    ::CancelIo,
                                    ::CancelIoEx,
                                    ::MsgWaitForMultipleObjectsEx};
    return native;
}

}  // namespace platform
