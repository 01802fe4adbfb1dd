// The mapping between the device-control record and a terminal's settings, without a
// terminal: what each line setting becomes, what is refused, and what a driver's answer
// must still hold.

#include <gtest/gtest.h>
#include <termios.h>

#include "platform/posix/serial_termios.h"
#include "platform/serial.h"

namespace {

using platform::DeviceControl;

DeviceControl Line(uint8_t data, uint8_t parity, uint8_t stop, uint32_t baud = 9600) {
    DeviceControl dcb;
    dcb.DCBlength = sizeof dcb;
    dcb.fBinary = 1;
    dcb.BaudRate = baud;
    dcb.ByteSize = data;
    dcb.Parity = parity;
    dcb.StopBits = stop;
    return dcb;
}

// What the record became, starting from settings full of leftovers.
bool Map(const DeviceControl& dcb, termios& tio) {
    tio = termios{};
    tio.c_cflag = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    tio.c_iflag = INPCK | IXON | IXOFF | ICRNL;
    tio.c_lflag = ICANON | ECHO;
    return platform::ToTermios(dcb, tio);
}

constexpr tcflag_t kParityFlags = PARENB | PARODD | CMSPAR;

TEST(SerialTermios, EveryParityBecomesItsFlagsAndComesBack) {
    struct Case {
        uint8_t parity;
        tcflag_t flags;
    } cases[] = {
        {platform::kNoParity, 0},
        {platform::kOddParity, PARENB | PARODD},
        {platform::kEvenParity, PARENB},
        {platform::kMarkParity, PARENB | CMSPAR | PARODD},
        {platform::kSpaceParity, PARENB | CMSPAR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.parity));
        termios tio;
        ASSERT_TRUE(Map(Line(8, c.parity, platform::kOneStopBit), tio));
        EXPECT_EQ(tio.c_cflag & kParityFlags, c.flags);
        EXPECT_EQ(tio.c_iflag & INPCK, 0U) << "checking is asked for apart (fParity)";
        EXPECT_EQ(platform::FromTermios(tio).Parity, c.parity);

        DeviceControl checked = Line(8, c.parity, platform::kOneStopBit);
        checked.fParity = 1;
        ASSERT_TRUE(Map(checked, tio));
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.parity != platform::kNoParity)
            << "no parity, nothing to check";
    }
    termios tio;
    EXPECT_FALSE(Map(Line(8, 5, platform::kOneStopBit), tio));
}

TEST(SerialTermios, DataBitsFiveToEightOnly) {
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (uint8_t bits = 5; bits <= 8; ++bits) {
        SCOPED_TRACE(static_cast<int>(bits));
        termios tio;
        ASSERT_TRUE(Map(Line(bits, platform::kNoParity, platform::kOneStopBit), tio));
        EXPECT_EQ(tio.c_cflag & CSIZE, sizes[bits - 5]);
        EXPECT_EQ(platform::FromTermios(tio).ByteSize, bits);
    }
    for (const uint8_t bits : {0, 4, 9, 16}) {
        termios tio;
        EXPECT_FALSE(Map(Line(bits, platform::kNoParity, platform::kOneStopBit), tio)) << +bits;
    }
}

TEST(SerialTermios, StopBitsAndTheFiveBitCaseOfOneAndAHalf) {
    struct Case {
        uint8_t data, stop;
        bool ok;
        bool longStop;  // CSTOPB
        uint8_t readBack;
    } cases[] = {
        {8, platform::kOneStopBit, true, false, platform::kOneStopBit},
        {8, platform::kTwoStopBits, true, true, platform::kTwoStopBits},
        {5, platform::kOneStopBit, true, false, platform::kOneStopBit},
        {5, platform::kOne5StopBits, true, true, platform::kOne5StopBits},
        // The terminal has one longer stop: with 5 data bits it lasts 1.5 bits.
        {5, platform::kTwoStopBits, true, true, platform::kOne5StopBits},
        {6, platform::kOne5StopBits, false, false, 0},
        {7, platform::kOne5StopBits, false, false, 0},
        {8, platform::kOne5StopBits, false, false, 0},
        {8, 3, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << +c.data << " data, stop choice " << +c.stop);
        termios tio;
        ASSERT_EQ(Map(Line(c.data, platform::kNoParity, c.stop), tio), c.ok);
        if (!c.ok) {
            continue;
        }
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.longStop);
        EXPECT_EQ(platform::FromTermios(tio).StopBits, c.readBack);
    }
}

TEST(SerialTermios, RawLineAtAKnownRateWithFlowControlAsAsked) {
    DeviceControl dcb = Line(7, platform::kEvenParity, platform::kOneStopBit, 38400);
    termios tio;
    ASSERT_TRUE(Map(dcb, tio));
    EXPECT_EQ(cfgetospeed(&tio), B38400);
    EXPECT_EQ(cfgetispeed(&tio), B38400);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0U) << "raw: no line editing, no echo";
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF), 0U) << "no translation, no flow control";
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0U);

    dcb.fOutxCtsFlow = 1;
    dcb.fOutX = 1;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    ASSERT_TRUE(Map(dcb, tio));
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0U);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON));
    const DeviceControl back = platform::FromTermios(tio);
    EXPECT_EQ(back.BaudRate, 38400U);
    EXPECT_EQ(back.fOutxCtsFlow, 1U);
    EXPECT_EQ(back.fOutX, 1U);
    EXPECT_EQ(back.fInX, 0U);
    EXPECT_EQ(back.XonChar, 0x11);
    EXPECT_EQ(back.XoffChar, 0x13);
    EXPECT_EQ(back.fBinary, 1U);
    EXPECT_EQ(back.DCBlength, sizeof(DeviceControl));

    for (const uint32_t rate : {0U, 9601U, 14400U, 3000000U}) {
        EXPECT_FALSE(Map(Line(8, platform::kNoParity, platform::kOneStopBit, rate), tio)) << rate;
    }
}

TEST(SerialTermios, AnAnswerWithoutStickParityOrOneAndAHalfStopBitsIsCaught) {
    const auto wanted = [](uint8_t data, uint8_t parity, uint8_t stop) {
        termios tio;
        EXPECT_TRUE(Map(Line(data, parity, stop), tio));
        return tio;
    };
    // What a pseudo-terminal makes of any setting: 8 data bits, no parity.
    const auto asPty = [](termios tio) {
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
        tio.c_cflag |= CS8;
        return tio;
    };
    const auto without = [](termios tio, tcflag_t flags) {
        tio.c_cflag &= ~flags;
        return tio;
    };

    for (const uint8_t parity : {platform::kMarkParity, platform::kSpaceParity}) {
        SCOPED_TRACE(+parity);
        const termios mark = wanted(8, parity, platform::kOneStopBit);
        EXPECT_TRUE(platform::KeepsLineSettings(mark, mark));
        EXPECT_FALSE(platform::KeepsLineSettings(mark, without(mark, CMSPAR)));
        EXPECT_FALSE(platform::KeepsLineSettings(mark, asPty(mark)));
    }
    const termios one5 = wanted(5, platform::kNoParity, platform::kOne5StopBits);
    EXPECT_TRUE(platform::KeepsLineSettings(one5, one5));
    EXPECT_FALSE(platform::KeepsLineSettings(one5, without(one5, CSTOPB)));
    EXPECT_FALSE(platform::KeepsLineSettings(one5, asPty(one5)));

    // Nothing else is looked for: a pseudo-terminal answers 8 data bits without parity
    // whatever it is given, and ports on it still open.
    const termios even = wanted(7, platform::kEvenParity, platform::kTwoStopBits);
    EXPECT_TRUE(platform::KeepsLineSettings(even, even));
    EXPECT_TRUE(platform::KeepsLineSettings(even, asPty(even)));
}

}  // namespace
