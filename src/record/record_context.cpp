#include "record/record_context.h"

#include <string>

#include "platform/port_discovery.h"
#include "platform/process.h"
#include "platform/serial.h"
#include "support/globals.h"

namespace {

// A port bound to /dev/ttyUSB0 may be another adapter after the next reboot; the record
// names the adapter by what stays with it, where the system knows such a name.
std::string StableDeviceName(const std::string& device) {
    for (const platform::PortInfo& port : platform::DiscoverPorts()) {
        if (platform::PortHasName(port, device) && port.StableName() != port.device) {
            return port.StableName();
        }
    }
    return device;
}

}  // namespace

UpdateStopwatch::UpdateStopwatch(int portAtStart)
    : start_(std::chrono::system_clock::now()),
      begin_(std::chrono::steady_clock::now()),
      portAtStart_(portAtStart) {}

RecordContext UpdateStopwatch::Context(const char* program, const char* version,
                                       int exitCode) const {
    RecordContext context;
    context.start = start_;
    context.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
    context.host = platform::HostName();
    context.user = platform::UserName();
    context.program = program;
    context.version = version;
    const int port = nInterface > 0 ? nInterface : portAtStart_;
    if (port > 0) {
        const std::string name = "COM" + std::to_string(port);
        context.port = name;
        context.device = StableDeviceName(platform::SerialDevicePath(name));
    }
    context.exitCode = exitCode;
    return context;
}
