// Port names: COMn resolves through the run's override, the ports mapped by the program,
// the settings file's [Ports] section, and the platform's default, in this order.

#include "platform/serial_ports.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>

#include "platform/ini_file.h"
#include "platform/port_discovery.h"
#include "platform/serial.h"
#include "platform/settings_store.h"

namespace platform {
namespace {

struct Bindings {
    std::mutex mutex;
    std::string override;
    std::map<int, std::string> mapped;
    // Each selector as it was first resolved in this run: a port is closed and opened
    // again to change its rate, and an adapter plugged in meanwhile must not make that
    // reopen fail, nor lead it to another machine.
    std::map<std::string, std::string> resolved;
};

Bindings& TheBindings() {
    static Bindings bindings;
    return bindings;
}

std::optional<std::string> FromSettingsFile(int port) {
    const std::string path = SettingsFilePath();
    if (path.empty()) {
        return std::nullopt;
    }
    IniFile ini;
    if (!ini.Load(path)) {
        return std::nullopt;
    }
    auto device = ini.Get("Ports", "COM" + std::to_string(port));
    if (device && device->empty()) {
        return std::nullopt;
    }
    return device;
}

// The stable name of the one adapter the selector matches, or "" (which fails every open:
// a guess could update the wrong machine).
std::string ResolveSelector(const std::string& selector) {
    Bindings& b = TheBindings();
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        const auto it = b.resolved.find(selector);
        if (it != b.resolved.end()) {
            return it->second;
        }
    }
    const std::vector<PortInfo> found = MatchPortSelector(selector, DiscoverPorts());
    if (found.size() != 1) {
        return {};
    }
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.resolved.emplace(selector, found.front().StableName()).first->second;
}

}  // namespace

int SerialPortNumber(const std::string& portName) {
    if (portName.size() < 4 || portName.size() > 9) {
        return 0;
    }
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(portName[i])) != "COM"[i]) {
            return 0;
        }
    }
    int n = 0;
    for (size_t i = 3; i < portName.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(portName[i]))) {
            return 0;
        }
        n = n * 10 + (portName[i] - '0');
    }
    return n;
}

std::string SerialBoundDevice(int port) {
    {
        Bindings& b = TheBindings();
        std::lock_guard<std::mutex> lock(b.mutex);
        if (!b.override.empty()) {
            return b.override;
        }
        auto it = b.mapped.find(port);
        if (it != b.mapped.end()) {
            return it->second;
        }
    }
    return FromSettingsFile(port).value_or("");
}

std::string SerialDevicePath(const std::string& portName) {
    const int port = SerialPortNumber(portName);
    std::string device = portName;
    if (port > 0) {
        const std::string bound = SerialBoundDevice(port);
        device = bound.empty() ? SerialDefaultDevice(port) : bound;
    }
    if (IsPortSelector(device)) {
        device = ResolveSelector(device);
    }
    return device;
}

void SetSerialDeviceOverride(const std::string& device) {
    Bindings& b = TheBindings();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.override = device;
}

void MapSerialPort(int port, const std::string& device) {
    Bindings& b = TheBindings();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (device.empty()) {
        b.mapped.erase(port);
    } else {
        b.mapped[port] = device;
    }
}

std::vector<std::string> ConfiguredSerialPorts() {
    std::vector<int> numbers;
    const std::string path = SettingsFilePath();
    IniFile ini;
    if (path.empty() || !ini.Load(path)) {
        return {};
    }
    for (const std::string& key : ini.Keys("Ports")) {
        const int port = SerialPortNumber(key);
        const auto device = ini.Get("Ports", key);
        if (port > 0 && device && !device->empty()) {
            numbers.push_back(port);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> names;
    for (const int port : numbers) {
        names.push_back("COM" + std::to_string(port));
    }
    return names;
}

}  // namespace platform
