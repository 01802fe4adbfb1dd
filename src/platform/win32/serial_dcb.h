#pragma once
// The portable device-control record and the system's DCB, field for field.

#include <windows.h>

#include "platform/serial.h"

namespace platform {

inline DCB ToDcb(const DeviceControl& d) {
    DCB n{};
    n.DCBlength = sizeof n;
    n.BaudRate = d.BaudRate;
    n.fBinary = d.fBinary;
    n.fParity = d.fParity;
    n.fOutxCtsFlow = d.fOutxCtsFlow;
    n.fOutxDsrFlow = d.fOutxDsrFlow;
    n.fDtrControl = d.fDtrControl;
    n.fRtsControl = d.fRtsControl;
    n.fOutX = d.fOutX;
    n.fInX = d.fInX;
    n.XonLim = d.XonLim;
    n.XoffLim = d.XoffLim;
    n.ByteSize = d.ByteSize;
    n.Parity = d.Parity;
    n.StopBits = d.StopBits;
    n.XonChar = d.XonChar;
    n.XoffChar = d.XoffChar;
    return n;
}

inline DeviceControl FromDcb(const DCB& n) {
    DeviceControl d;
    d.DCBlength = sizeof d;
    d.BaudRate = n.BaudRate;
    d.fBinary = n.fBinary;
    d.fParity = n.fParity;
    d.fOutxCtsFlow = n.fOutxCtsFlow;
    d.fOutxDsrFlow = n.fOutxDsrFlow;
    d.fDtrControl = n.fDtrControl;
    d.fRtsControl = n.fRtsControl;
    d.fOutX = n.fOutX;
    d.fInX = n.fInX;
    d.XonLim = n.XonLim;
    d.XoffLim = n.XoffLim;
    d.ByteSize = n.ByteSize;
    d.Parity = n.Parity;
    d.StopBits = n.StopBits;
    d.XonChar = n.XonChar;
    d.XoffChar = n.XoffChar;
    return d;
}

}  // namespace platform
