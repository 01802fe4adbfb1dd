#pragma once
// Serial devices: an exclusive open, line settings from a device-control record, reads
// that return at once with what is queued, overlapped writes with at most one in flight,
// purges, and an event wait that another thread can interrupt by changing the event mask.
// Failures return false (or the invalid handle) and leave the code in LastError().

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The open device: a file descriptor on POSIX, the HANDLE value on Win32.
using SerialHandle = intptr_t;
inline constexpr SerialHandle kInvalidSerialHandle = -1;

// Line settings with the fields, values and meaning of the Win32 device-control block.
inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kOddParity = 1;
inline constexpr uint8_t kEvenParity = 2;
inline constexpr uint8_t kMarkParity = 3;
inline constexpr uint8_t kSpaceParity = 4;
inline constexpr uint8_t kOneStopBit = 0;
inline constexpr uint8_t kOne5StopBits = 1;
inline constexpr uint8_t kTwoStopBits = 2;

struct DeviceControl {
    uint32_t DCBlength = 0;
    uint32_t BaudRate = 0;
    uint32_t fBinary = 0;
    uint32_t fParity = 0;
    uint32_t fOutxCtsFlow = 0;
    uint32_t fOutxDsrFlow = 0;
    uint32_t fDtrControl = 0;
    uint32_t fRtsControl = 0;
    uint32_t fOutX = 0;
    uint32_t fInX = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
};

// Fills the record from a mode text such as "baud=9600 parity=N data=8 stop=1", leaving
// fields the text does not name as they are. False on a text it cannot read.
bool SerialBuildDeviceControl(const char* mode, DeviceControl& dcb);

struct SerialTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// Port events, with the Win32 values.
inline constexpr uint32_t kEvRxChar = 0x0001;
inline constexpr uint32_t kEvTxEmpty = 0x0004;
inline constexpr uint32_t kEvBreak = 0x0040;
inline constexpr uint32_t kEvErr = 0x0080;

// Purge flags, with the Win32 values.
inline constexpr uint32_t kPurgeTxAbort = 0x0001;
inline constexpr uint32_t kPurgeRxAbort = 0x0002;
inline constexpr uint32_t kPurgeTxClear = 0x0004;
inline constexpr uint32_t kPurgeRxClear = 0x0008;

struct SerialStatus {
    uint32_t errors = 0;
    uint32_t inQueue = 0;
    uint32_t outQueue = 0;
};

// One overlapped operation's record: its manual-reset event (signalled while nothing is
// in flight) and the bytes of a write until the device has taken them, so the caller's
// buffer may go away at once.
struct SerialAsyncState;
struct SerialOverlapped {
    std::shared_ptr<SerialAsyncState> state;
};

bool SerialCreateOverlapped(SerialOverlapped& ov, bool signalled);
// Closes the event. An operation still in flight is cancelled first.
void SerialCloseOverlapped(SerialOverlapped& ov);
// True when the event is signalled within ms (no operation in flight).
bool SerialWaitOverlapped(const SerialOverlapped& ov, uint32_t ms);

// "COMn" resolves to a device: on POSIX through the override, the mapped ports, the
// settings file's [Ports] section ("COM3=/dev/ttyUSB0"), else /dev/ttyS<n-1>; on Win32
// through the override and the mapped ports, else \\.\COMn. Any other name is a device.
std::string SerialDevicePath(const std::string& portName);
// The device that this run or the settings file binds to COMn; "" when the port opens the
// platform's own device for it.
std::string SerialBoundDevice(int port);
// Binds every COMn to one device for the rest of the run ("" removes the binding).
void SetSerialDeviceOverride(const std::string& device);
// Binds one port number to a device ("" removes it).
void MapSerialPort(int port, const std::string& device);
// The COMn names that the settings file's [Ports] section binds to a device, in
// ascending order; none where the settings live elsewhere (Win32).
std::vector<std::string> ConfiguredSerialPorts();

// Opens the port for reading and writing, exclusively, for overlapped I/O.
SerialHandle SerialOpen(const std::string& portName);
// Later calls with the handle fail; an event wait still running on another thread ends.
// The device itself closes once no call on another thread still uses it, at once when
// none does; the result tells whether the handle was open.
bool SerialClose(SerialHandle h);
bool SerialSetupQueues(SerialHandle h, uint32_t rxSize, uint32_t txSize);
bool SerialGetState(SerialHandle h, DeviceControl& dcb);
bool SerialSetState(SerialHandle h, const DeviceControl& dcb);
bool SerialGetTimeouts(SerialHandle h, SerialTimeouts& timeouts);
bool SerialSetTimeouts(SerialHandle h, const SerialTimeouts& timeouts);
bool SerialGetEventMask(SerialHandle h, uint32_t& mask);
// Setting the mask ends a pending SerialWaitEvent with no events.
bool SerialSetEventMask(SerialHandle h, uint32_t mask);
// Blocks until an event of the mask occurs or the mask is changed (events 0).
bool SerialWaitEvent(SerialHandle h, uint32_t& events);
// Reads the port's status and clears its error flags.
bool SerialClearError(SerialHandle h, SerialStatus& status);
bool SerialPurge(SerialHandle h, uint32_t flags);

// Starts a read with the record and reports the bytes read at once; never waits for
// more than the queued bytes.
bool SerialRead(SerialHandle h, SerialOverlapped& ov, void* buffer, uint32_t count, uint32_t& read);
// Starts a write of a copy of the bytes with the record. The record's event is
// non-signalled until the device has taken every byte.
bool SerialWrite(SerialHandle h, SerialOverlapped& ov, const void* data, uint32_t count);

enum class SerialWaitResult { Data, Interface, Timeout, Failed };

// Waits up to ms until at least count bytes are queued, or the user interface has
// messages (uiWake: a descriptor readable while messages are pending, or -1; Win32
// watches the thread's message queue itself). The caller checks the queue again.
SerialWaitResult SerialWaitData(SerialHandle h, uint32_t count, uint32_t ms, int uiWake);

}  // namespace platform
