// A connection without a port: nothing is opened, nothing is sent, every operation
// answers its failure value.

#include <gtest/gtest.h>

#include "protocol/protokoll_tq8.h"
#include "scripted_frontend.h"
#include "trace_capture.h"

namespace {

TEST(ProtocolWithoutPort, EveryOperationFailsWithoutIo) {
    for (int port : {0, -1}) {
        SCOPED_TRACE(port);
        scripted::Reset();
        TraceLevels levels(5);
        TraceCapture trace;
        ProtokollTQ8 conn(nullptr, port);
        EXPECT_EQ(conn.fProtokollAktiv, 0);
        EXPECT_FALSE(conn.pComm);
        const std::string p = std::to_string(port);
        EXPECT_EQ(trace.Lines(),
                  (std::vector<std::string>{"{cb}ProtokollTQ8 (" + p + ")",
                                            "{cg}*ProtokollTQ8 (" + p + "); fProtokollAktiv = 0"}));
        int16_t value = 5;
        uint16_t word = 6;
        uint8_t byte = 7;
        uint32_t a = 1, b = 2, c = 3, d = 4;
        const uint8_t data[32] = {};
        conn.SendByte(1);
        conn.SendWord(2);
        conn.SendDWord(3);
        EXPECT_EQ(conn.WaitForData(1, 50), 0);
        EXPECT_EQ(conn.InitCommand(4), 0);
        EXPECT_EQ(conn.WaitForAck(), 0);
        EXPECT_EQ(conn.SendData(data, 32), 0);
        EXPECT_EQ(conn.ReceiveByte(byte, 50), 0);
        EXPECT_EQ(conn.ReceiveWord(word, 50), 0);
        EXPECT_EQ(conn.ReceiveDWord(), 0xFFFFFFFFU);
        EXPECT_EQ(conn.ReadVariable(62, value), 0);
        EXPECT_EQ(conn.WriteVariable(62, 1), 0);
        EXPECT_EQ(conn.GetApplicationActive(), -1);
        EXPECT_EQ(conn.SetApplicationActive(1), 0);
        EXPECT_EQ(conn.StartDownload(0x4000, 0x401F), 0);
        EXPECT_EQ(conn.GetCheckSum(1, a, b, c, d), 0);
        EXPECT_EQ(conn.InitEEPROM(), 0);
        EXPECT_EQ(conn.GetDeviceType(), 0);
        EXPECT_EQ(value, 5);
        EXPECT_EQ(word, 6);
        EXPECT_EQ(byte, 7);
        EXPECT_EQ(std::vector<uint32_t>({a, b, c, d}), std::vector<uint32_t>({1, 2, 3, 4}));
        EXPECT_TRUE(trace.Dumps().empty());
        EXPECT_EQ(trace.CountPrefix("{cb}OpenComm"), 0U);
        EXPECT_EQ(trace.CountPrefix("{cr}WaitForData"), 0U) << "nothing was awaited";
        EXPECT_TRUE(scripted::Boxes().empty());
    }
}

}  // namespace
