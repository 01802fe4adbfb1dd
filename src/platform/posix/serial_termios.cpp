#include "platform/posix/serial_termios.h"

namespace platform {
namespace {

struct SpeedEntry {
    uint32_t rate;
    speed_t speed;
};
constexpr SpeedEntry kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOf(uint32_t rate, speed_t& speed) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.rate == rate) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

uint32_t RateOf(speed_t speed) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.speed == speed) {
            return e.rate;
        }
    }
    return 0;
}

bool SizeOf(uint8_t bits, tcflag_t& size) {
    switch (bits) {
        case 5:
            size = CS5;
            return true;
        case 6:
            size = CS6;
            return true;
        case 7:
            size = CS7;
            return true;
        case 8:
            size = CS8;
            return true;
        default:
            return false;
    }
}

uint8_t BitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

bool ParityFlagsOf(uint8_t parity, tcflag_t& flags) {
    switch (parity) {
        case kNoParity:
            flags = 0;
            return true;
        case kOddParity:
            flags = PARENB | PARODD;
            return true;
        case kEvenParity:
            flags = PARENB;
            return true;
        case kMarkParity:
            flags = PARENB | CMSPAR | PARODD;
            return true;
        case kSpaceParity:
            flags = PARENB | CMSPAR;
            return true;
        default:
            return false;
    }
}

uint8_t ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return kNoParity;
    }
    if ((cflag & CMSPAR) != 0) {
        return (cflag & PARODD) != 0 ? kMarkParity : kSpaceParity;
    }
    return (cflag & PARODD) != 0 ? kOddParity : kEvenParity;
}

}  // namespace

bool ToTermios(const DeviceControl& dcb, termios& tio) {
    speed_t speed{};
    tcflag_t size = 0;
    tcflag_t parity = 0;
    if (!SpeedOf(dcb.BaudRate, speed) || !SizeOf(dcb.ByteSize, size) ||
        !ParityFlagsOf(dcb.Parity, parity)) {
        return false;
    }
    // 1.5 stop bits exist only with 5 data bits, where the driver's two stop bits are them.
    const bool longStop =
        dcb.StopBits == kTwoStopBits || (dcb.StopBits == kOne5StopBits && dcb.ByteSize == 5);
    if (!longStop && dcb.StopBits != kOneStopBit) {
        return false;
    }
    cfmakeraw(&tio);
    // Raw mode leaves parity checking and input flow control as they were; a record that
    // does not ask for them must not inherit them from the device's last user.
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | size | parity;
    if (dcb.fParity != 0 && dcb.Parity != kNoParity) {
        tio.c_iflag |= INPCK;
    }
    if (longStop) {
        tio.c_cflag |= CSTOPB;
    }
    if (dcb.fOutxCtsFlow != 0) {
        tio.c_cflag |= CRTSCTS;
    }
    if (dcb.fOutX != 0 || dcb.fInX != 0) {
        tio.c_iflag |= (dcb.fOutX != 0 ? IXON : 0) | (dcb.fInX != 0 ? IXOFF : 0);
        tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    }
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return true;
}

DeviceControl FromTermios(const termios& tio) {
    DeviceControl dcb;
    dcb.DCBlength = sizeof(DeviceControl);
    dcb.fBinary = 1;
    dcb.BaudRate = RateOf(cfgetospeed(&tio));
    dcb.ByteSize = BitsOf(tio.c_cflag);
    dcb.Parity = ParityOf(tio.c_cflag);
    dcb.fParity = (tio.c_iflag & INPCK) != 0 ? 1 : 0;
    if ((tio.c_cflag & CSTOPB) != 0) {
        dcb.StopBits = dcb.ByteSize == 5 ? kOne5StopBits : kTwoStopBits;
    }
    dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0 ? 1 : 0;
    dcb.fOutX = (tio.c_iflag & IXON) != 0 ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0 ? 1 : 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return dcb;
}

bool KeepsLineSettings(const termios& wanted, const termios& got) {
    constexpr tcflag_t kStickParity = PARENB | CMSPAR;
    if ((wanted.c_cflag & kStickParity) == kStickParity &&
        (ParityOf(got.c_cflag) != ParityOf(wanted.c_cflag))) {
        return false;
    }
    const bool wantedOne5 = (wanted.c_cflag & CSTOPB) != 0 && BitsOf(wanted.c_cflag) == 5;
    const bool gotOne5 = (got.c_cflag & CSTOPB) != 0 && BitsOf(got.c_cflag) == 5;
    return !wantedOne5 || gotOne5;
}

}  // namespace platform
