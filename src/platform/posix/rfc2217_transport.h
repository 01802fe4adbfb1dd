#pragma once
// A serial line behind a device server that speaks RFC 2217 over TCP.

#include <memory>
#include <string>

#include "platform/posix/serial_transport.h"

namespace platform {

// Connects to the server of "rfc2217://HOST:PORT" and agrees on the COM-PORT option.
// Null on failure, with errno set (ECONNREFUSED, ETIMEDOUT or a kError... code of
// platform/network_port.h).
std::unique_ptr<SerialTransport> ConnectRfc2217(const std::string& name);

// The same over a connected stream socket, which the transport then owns; answerMs
// bounds every wait for the server.
std::unique_ptr<SerialTransport> AttachRfc2217(int socket, uint32_t answerMs);

}  // namespace platform
