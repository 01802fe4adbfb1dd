// What a device server may send a network port's client: any telnet stream, cut anywhere
// (the server's end closes after the input). Connecting, setting the line, writing,
// reading and purging must each end with a result within its time limit.

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "platform/posix/rfc2217_transport.h"

namespace {

constexpr uint32_t kAnswerMs = 20;

void Drive(platform::SerialTransport& line) {
    platform::DeviceControl dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    (void)line.SetLine(dcb);
    const uint8_t block[] = {0x11, 0x00, 0xFF, 0x0D, 0x00};
    (void)line.Write(block, sizeof block);
    uint8_t buffer[64];
    uint32_t queued = 0;
    uint32_t read = 0;
    while (line.Queued(queued) && queued > 0 && line.Read(buffer, sizeof buffer, read) &&
           read > 0) {
    }
    (void)line.Purge(platform::kPurgeRxAbort | platform::kPurgeRxClear);
    dcb.BaudRate = 38400;
    (void)line.SetLine(dcb);
    (void)line.Read(buffer, sizeof buffer, read);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return 0;
    }
    (void)::send(ends[1], data, size, MSG_NOSIGNAL);  // the buffer holds any input of -max_len
    // The stream ends after the input; what the client sends still finds room.
    ::shutdown(ends[1], SHUT_WR);
    if (auto line = platform::AttachRfc2217(ends[0], kAnswerMs)) {
        Drive(*line);
    }
    ::close(ends[1]);
    return 0;
}
