#pragma once
// Inside the OS layer: how a port name becomes a device path.

#include <string>

namespace platform {

// The port number of a name "COMn" (n >= 1, letters in any case), or 0.
int SerialPortNumber(const std::string& portName);

// The device a port number opens when nothing else binds it.
std::string SerialDefaultDevice(int port);

}  // namespace platform
