// The COM ports Windows knows: the Ports device class with the friendly names and
// hardware ids of its devices, and the serial map of the registry for ports whose driver
// is not in that class (and for systems that fill only the map).

#include <windows.h>
// clang-format off
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/port_discovery.h"
#include "platform/serial_ports.h"

namespace platform {
namespace {

std::string RegistryText(HKEY key, const char* name) {
    char value[256] = "";
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    return value;
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& data, DWORD property) {
    char value[512] = "";
    if (!SetupDiGetDeviceRegistryPropertyA(set, &data, property, nullptr,
                                           reinterpret_cast<BYTE*>(value), sizeof value - 1,
                                           nullptr)) {
        return {};
    }
    return value;
}

// "USB\VID_0403&PID_6001&REV_0600" and the like: the four hex digits after the tag.
std::string IdAfter(const std::string& hardwareId, const char* tag) {
    const size_t at = hardwareId.find(tag);
    if (at == std::string::npos || at + 4 + 4 > hardwareId.size()) {
        return {};
    }
    std::string id = hardwareId.substr(at + 4, 4);
    for (char& c : id) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return id;
}

void AddClassPorts(std::vector<PortInfo>& ports) {
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        PortInfo port;
        port.device = RegistryText(key, "PortName");
        RegCloseKey(key);
        if (SerialPortNumber(port.device) <= 0) {
            continue;  // a printer port
        }
        port.friendly = DeviceProperty(set, data, SPDRP_FRIENDLYNAME);
        port.driver = DeviceProperty(set, data, SPDRP_SERVICE);
        const std::string hardwareId = DeviceProperty(set, data, SPDRP_HARDWAREID);
        port.vendorId = IdAfter(hardwareId, "VID_");
        port.productId = IdAfter(hardwareId, "PID_");
        port.usb = !port.vendorId.empty() && !port.productId.empty();
        port.maker = DeviceProperty(set, data, SPDRP_MFG);
        ports.push_back(std::move(port));
    }
    SetupDiDestroyDeviceInfoList(set);
}

void AddSerialMap(std::vector<PortInfo>& ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    for (DWORD i = 0;; ++i) {
        char name[256] = "";
        DWORD nameSize = sizeof name;
        char value[64] = "";
        DWORD valueSize = sizeof value - 1;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(value),
                          &valueSize) != ERROR_SUCCESS) {
            break;
        }
        const std::string device = value;
        if (type != REG_SZ || SerialPortNumber(device) <= 0 ||
            std::any_of(ports.begin(), ports.end(),
                        [&](const PortInfo& p) { return p.device == device; })) {
            continue;
        }
        PortInfo port;
        port.device = device;
        ports.push_back(std::move(port));
    }
    RegCloseKey(key);
}

}  // namespace

std::vector<PortInfo> DiscoverPorts() {
    std::vector<PortInfo> ports;
    AddClassPorts(ports);
    AddSerialMap(ports);
    std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        if (a.usb != b.usb) {
            return a.usb;
        }
        return SerialPortNumber(a.device) < SerialPortNumber(b.device);
    });
    return ports;
}

// The system's message boxes say why an open failed; nothing more is visible here.
PortProblem DiagnosePort(const std::string&) {
    PortProblem problem;
    problem.kind = PortProblem::Kind::Unknown;
    return problem;
}

// Windows drivers keep their latency in their own settings.
LowLatencyAnswer RequestLowLatency(const std::string&) {
    return {};
}

}  // namespace platform
