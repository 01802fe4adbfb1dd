#include "record/record_context.h"

#include <string>

#include "platform/process.h"
#include "platform/serial.h"
#include "support/globals.h"

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
        context.device = platform::SerialDevicePath(name);
    }
    context.exitCode = exitCode;
    return context;
}
