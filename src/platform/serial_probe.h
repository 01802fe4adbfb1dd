#pragma once
// Whether a serial port can be had right now: opened and at once closed again, without
// touching its line settings. A port that another program holds cannot be had.

#include <string>

namespace platform {

enum class SerialProbeAccess {
    ReadOnly,             // reading only, shared for reading, not overlapped
    ReadWriteOverlapped,  // reading and writing, shared for reading, overlapped
};

// portName is "COMn" or a device, resolved like SerialOpen resolves it.
bool SerialProbe(const std::string& portName, SerialProbeAccess access);

}  // namespace platform
