// How a run finds its port when the user has pinned none, and what it says when the port
// cannot be had.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/console_text.h"
#include "cli/ports/ports.h"
#include "platform/ini_file.h"
#include "platform/network_port.h"
#include "platform/port_discovery.h"
#include "platform/serial.h"
#include "platform/serial_ports.h"
#include "platform/settings_store.h"
#include "support/globals.h"
#include "support/utils.h"

namespace {

// The ports the search tries.
constexpr int kSearchedPorts = 8;

using platform::PortInfo;

std::vector<PortInfo> Adapters(const std::vector<PortInfo>& ports) {
    std::vector<PortInfo> adapters;
    for (const PortInfo& port : ports) {
        if (port.usb) {
            adapters.push_back(port);
        }
    }
    return adapters;
}

void ListPorts(const std::vector<PortInfo>& ports) {
    if (ports.empty()) {
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kPortsListNone));
    }
    for (const PortInfo& port : ports) {
        std::string line = "  " + port.StableName();
        if (port.StableName() != port.device) {
            line += "  (" + port.device + ")";
        }
        if (port.usb) {
            line += "  usb:" + port.vendorId + ":" + port.productId +
                    (port.serial.empty() ? "" : ":" + port.serial);
        }
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

void RefuseSelector(const std::string& selector, size_t matches,
                    const std::vector<PortInfo>& ports) {
    const std::string text =
        matches == 0 ? ConsoleFormat(Cli::kSelectorMatchesNone, selector.c_str())
                     : ConsoleFormat(Cli::kSelectorMatchesSeveral, selector.c_str(), matches);
    std::fprintf(stderr, "%s\n", text.c_str());
    ListPorts(Adapters(ports));
}

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

// What [Ports] binds the port to, as written there.
std::string SettingsBinding(int port) {
    platform::IniFile ini;
    const std::string path = platform::SettingsFilePath();
    if (path.empty() || !ini.Load(path)) {
        return {};
    }
    return ini.Get("Ports", PortName(port)).value_or("");
}

// A network port is no device to look for: the server and what went wrong with it.
void ExplainNetworkPort(const std::string& name, const std::string& url) {
    platform::NetworkAddress address;
    const uint32_t failure = platform::NetworkPortFailure(url);
    if (failure == 0 || !platform::ParseNetworkPortName(url, address)) {
        return;  // the name's own fault, or a server that worked: the run said what it knows
    }
    std::fprintf(
        stderr, "%s\n",
        ConsoleFormat(Cli::kPortNetworkFailed, name.c_str(), url.c_str(), address.host.c_str(),
                      address.port.c_str(), TerminalText(GetSystemErrorText(failure)).c_str())
            .c_str());
}

void Explain(int port) {
    const std::string device = platform::SerialDevicePath(PortName(port));
    if (device.empty()) {
        const std::string selector = SettingsBinding(port);
        const std::vector<PortInfo> ports = platform::DiscoverPorts();
        RefuseSelector(selector, platform::MatchPortSelector(selector, ports).size(), ports);
        return;
    }
    const std::string name = PortName(port);
    if (platform::IsNetworkPortName(device)) {
        ExplainNetworkPort(name, device);
        return;
    }
    const platform::PortProblem problem = platform::DiagnosePort(device);
    switch (problem.kind) {
        case platform::PortProblem::Kind::Missing:
            std::fprintf(stderr, "%s\n",
                         ConsoleFormat(Cli::kPortMissing, name.c_str(), device.c_str()).c_str());
            ListPorts(platform::DiscoverPorts());
            break;
        case platform::PortProblem::Kind::NoAccess:
            std::fprintf(
                stderr, "%s\n",
                ConsoleFormat(Cli::kPortDenied, name.c_str(), device.c_str(), problem.group.c_str())
                    .c_str());
            if (problem.group != "root") {
                std::fprintf(
                    stderr, "%s\n",
                    ConsoleFormat(Cli::kPortDeniedFix, problem.group.c_str(), problem.user.c_str())
                        .c_str());
            }
            break;
        case platform::PortProblem::Kind::Busy:
            for (const platform::PortHolder& holder : problem.holders) {
                std::fprintf(stderr, "%s\n",
                             ConsoleFormat(Cli::kPortBusy, name.c_str(), device.c_str(),
                                           HolderText(holder).c_str())
                                 .c_str());
            }
            break;
        case platform::PortProblem::Kind::None:
        case platform::PortProblem::Kind::Unknown:
            break;
    }
}

}  // namespace

std::string HolderText(const platform::PortHolder& holder) {
    return ConsoleFormat(Cli::kPortHolder, holder.pid, holder.name.c_str());
}

bool ResolvePortOption(std::string& port) {
    if (!platform::IsPortSelector(port)) {
        return true;
    }
    const std::vector<PortInfo> ports = platform::DiscoverPorts();
    const std::vector<PortInfo> found = platform::MatchPortSelector(port, ports);
    if (found.size() != 1) {
        RefuseSelector(port, found.size(), ports);
        return false;
    }
    port = found.front().StableName();
    return true;
}

bool StorePortBinding(int port, const std::string& device, std::FILE* out) {
    const std::string path = platform::SettingsFilePath();
    platform::IniFile ini;
    if (path.empty() || SettingsBinding(port) == device) {
        return true;
    }
    if (!ini.Load(path)) {
        return false;
    }
    ini.Set("Ports", PortName(port), device);
    if (!ini.Save(path)) {
        return false;
    }
    std::fprintf(out, "%s\n  %s=%s\n", ConsoleFormat(Cli::kPortsSaved, path.c_str()).c_str(),
                 PortName(port).c_str(), device.c_str());
    return true;
}

void ApplyUnconfiguredPortRule() {
    const std::string path = platform::SettingsFilePath();
    platform::IniFile ini;
    if (path.empty() || !ini.Load(path) || ini.HasSection("Ports")) {
        return;
    }
    const std::vector<PortInfo> adapters = Adapters(platform::DiscoverPorts());
    if (adapters.size() == 1) {
        platform::MapSerialPort(1, adapters.front().StableName());
        if (nInterface <= 0) {
            nInterface = 1;
        }
        std::fprintf(
            stderr, "%s\n",
            ConsoleFormat(Cli::kPortOneAdapter, adapters.front().StableName().c_str()).c_str());
    } else if (adapters.size() > 1) {
        std::fprintf(stderr, "%s\n",
                     ConsoleFormat(Cli::kPortSeveralAdapters, adapters.size()).c_str());
        ListPorts(adapters);
        std::fprintf(stderr, "%s\n", ConsoleText(Cli::kPortPinHint));
    }
}

void ExplainPortFailure(int port) {
    if (port > 0) {
        Explain(port);
        return;
    }
    // The search tried the board's own ports too; only those bound to a device are news.
    for (int n = 1; n <= kSearchedPorts; ++n) {
        if (platform::SerialDevicePath(PortName(n)) != platform::SerialDefaultDevice(n)) {
            Explain(n);
        }
    }
}

void NoteAdapterLatency() {
    if (nInterface <= 0) {
        return;
    }
    const std::string device = platform::SerialDevicePath(PortName(nInterface));
    const platform::LowLatencyAnswer answer = platform::RequestLowLatency(device);
    if (answer.latencyMs <= 2 || answer.granted) {
        return;
    }
    std::string kernelName = device;
    for (const PortInfo& port : platform::DiscoverPorts()) {
        if (platform::PortHasName(port, device)) {
            kernelName = port.device.substr(port.device.rfind('/') + 1);
        }
    }
    std::fprintf(
        stderr, "%s\n",
        ConsoleFormat(Cli::kPortLatency, device.c_str(), answer.latencyMs, kernelName.c_str())
            .c_str());
}

const char* UnconfiguredPortRuleHelp() {
    return "Ports: COMn is the device that the settings file's [Ports] section binds it to\n"
           "(COM1=/dev/serial/by-id/..., a selector usb:VID:PID[:SERIAL] that must match\n"
           "exactly one adapter, or rfc2217://HOST:PORT, a serial device server on the\n"
           "network), else /dev/ttyS<n-1>; --port takes these forms too.\n"
           "Without a [Ports] section and without --port, search, update, info, check,\n"
           "sysinfo and ports take one USB serial adapter (ttyUSB, ttyACM) as COM1, and as\n"
           "the selected port when none is stored; with several they guess none and list\n"
           "them, and \"tq8flash ports --save\" pins them to COM1, COM2, ... in that order.\n"
           "  $ tq8flash search\n"
           "  tq8flash: COM1 is /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0, "
           "the one USB serial adapter\n"
           "  Seraching Interface\n"
           "    COM1 ...\n"
           "  Kovra TQ VIII found at COM1\n";
}
