#pragma once
// The serial devices the system knows, as it knows them: udev on POSIX, the system's own
// list of COM ports on Win32. Also the selectors that pin a port to one adapter
// ("usb:VID:PID[:SERIAL]"), and why a device cannot be opened, told without opening it.

#include <string>
#include <vector>

namespace platform {

struct PortInfo {
    std::string device;    // what opens it: /dev/ttyUSB0, or COM3 on Win32
    std::string byId;      // /dev/serial/by-id/... or ""
    std::string byPath;    // /dev/serial/by-path/... or ""
    std::string driver;    // ftdi_sio, cdc_acm, serial8250 ...; "" when unknown
    std::string friendly;  // the system's name for it (Win32), or ""
    bool usb = false;      // an adapter on USB; the fields below are set only then
    std::string vendorId;  // four lower-case hex digits
    std::string productId;
    std::string maker;
    std::string product;
    std::string serial;
    int latencyMs = -1;  // the FTDI-type latency timer, -1 where there is none

    // The name that survives a reboot and a different plugging order: by-id, by-path,
    // else the device.
    const std::string& StableName() const;
};

// Every serial device, in an order that the same hardware gives every time: adapters
// first, then by stable name. Terminals of the console and pseudo-terminals are not
// serial devices; an on-board UART that the driver found no chip for is left out.
std::vector<PortInfo> DiscoverPorts();

// Whether the name has the form of a selector "usb:VID:PID[:SERIAL]".
bool IsPortSelector(const std::string& name);

// The ports a selector matches (ids without regard to case, the serial number exactly).
std::vector<PortInfo> MatchPortSelector(const std::string& selector,
                                        const std::vector<PortInfo>& ports);

// Whether the name is one of the port's names (device, by-id or by-path; on Win32 also
// the device with the prefix \\.\).
bool PortHasName(const PortInfo& port, const std::string& name);

// A process that has the device open.
struct PortHolder {
    unsigned long pid = 0;
    std::string name;  // its command name, "" where it cannot be read
};

// What keeps a device from being opened, as far as can be seen without opening it.
struct PortProblem {
    enum class Kind { None, Missing, NoAccess, Busy, Unknown };
    Kind kind = Kind::None;
    std::string group;                // NoAccess: the device's group
    std::string user;                 // NoAccess: who runs this program
    std::vector<PortHolder> holders;  // Busy
};
PortProblem DiagnosePort(const std::string& device);

// Asks the driver of an adapter with a latency timer for its low-latency mode, as the
// serial service does at every open, and tells the answer. Opens the device only when it
// has such a timer.
struct LowLatencyAnswer {
    int latencyMs = -1;    // the adapter's latency timer, -1 where there is none
    bool granted = false;  // the driver took the request
};
LowLatencyAnswer RequestLowLatency(const std::string& device);

}  // namespace platform
