// Every example exchange with the machine, byte for byte, as the port's dumps and the
// machine's transcript see it.

#include "protocol_fixture.h"

namespace {

SIM_TEST(Protocol, ReadVariableOfId62, "--var 62=5") {
    int16_t value = 0;
    EXPECT_EQ(conn->ReadVariable(62, value), 1);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, 0x04}, {0x00, 0x3E}}));
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0x06}, {0x00, 0x02, 0x00, 0x05}}));
    EXPECT_EQ(TranscriptOf(1),
              std::vector<std::string>{"CMD 4 ReadVariable id=62 -> ACK kennung=2 value=5"});
    EXPECT_TRUE(trace.Has("{cb}ReadVariable (62)"));
    EXPECT_TRUE(trace.Has("{cg}*Variable 62 = 5 (kennung = 2)"));
}

SIM_TEST(Protocol, WriteVariablesOfTheUpdateRecord, "") {
    struct Row {
        int id;
        int16_t value;
        Bytes request;
        const char* line;
    } rows[] = {
        {61, 2005, {0x00, 0x3D, 0x07, 0xD5}, "CMD 5 WriteVariable id=61 value=2005 -> ACK"},
        {60,
         12 * 256 + 24,
         {0x00, 0x3C, 0x0C, 0x18},
         "CMD 5 WriteVariable id=60 value=3096 -> ACK"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        trace.Clear();
        sim->ClearTranscript();
        EXPECT_EQ(conn->WriteVariable(row.id, row.value), 1);
        EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, 0x05}, row.request}));
        EXPECT_EQ(Received(), (std::vector<Bytes>{{0x06}, {0x06}}));
        EXPECT_EQ(TranscriptOf(1), std::vector<std::string>{row.line});
        EXPECT_TRUE(trace.Has("{cg}*WriteVariable (" + std::to_string(row.id) + ")"));
    }
}

SIM_TEST(Protocol, SetBaudRateTo38400ReopensThePort, "") {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(conn->SetBaudRate(kProtocolWindow, sim->Port(), 38400), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500))
        << "the machine gets its pause before the port reopens";
    EXPECT_EQ(conn->fProtokollAktiv, 1);
    ASSERT_TRUE(conn->pComm);
    EXPECT_EQ(conn->pComm->dcb.BaudRate, 38400U);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, 0x09}, {0x00, 0x00, 0x96, 0x00}}));
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0x06}, {0x06}}));
    EXPECT_TRUE(trace.Has("{cc}SetBaudRate (COM" + std::to_string(sim->Port()) + ", 38400)"));
    EXPECT_TRUE(trace.Has("{cb}Destructor::RS232 (Kovra TQ8/ZEL 5000)"));
    EXPECT_EQ(TranscriptOf(1), std::vector<std::string>{"RATE 38400 -> ACK"});
    // Both sides talk at the new rate now.
    EXPECT_EQ(conn->GetApplicationActive(), 2);
}

SIM_TEST(Protocol, GetCheckSumOfArea1, "") {
    uint32_t start = 1, end = 2, saved = 3, calculated = 4;
    EXPECT_EQ(conn->GetCheckSum(1, start, end, saved, calculated), 1);
    const auto sent = Sent();
    EXPECT_EQ(sent, (std::vector<Bytes>{{0x11, 0x00, 0x0A}, {0x00, 0x01}}));
    const auto received = Received();
    ASSERT_EQ(received.size(), 5U);
    EXPECT_EQ(received[0], Bytes{0x06});
    Bytes report;
    for (size_t i = 1; i < received.size(); ++i) {
        report.insert(report.end(), received[i].begin(), received[i].end());
    }
    ASSERT_EQ(report.size(), 16U);
    auto dword = [&](size_t i) {
        return uint32_t{report[i]} << 24 | uint32_t{report[i + 1]} << 16 |
               uint32_t{report[i + 2]} << 8 | report[i + 3];
    };
    EXPECT_EQ(start, dword(0));
    EXPECT_EQ(end, dword(4));
    EXPECT_EQ(saved, dword(8));
    EXPECT_EQ(calculated, dword(12));
    EXPECT_EQ(start, 0x4000U);
    EXPECT_EQ(end, 0x7FFFFU);
    char line[160];
    std::snprintf(line, sizeof line,
                  "CHECKSUM area=1 start=0x%08x end=0x%08x saved=0x%08x calc=0x%08x", start, end,
                  saved, calculated);
    EXPECT_EQ(TranscriptOf(1), std::vector<std::string>{line});
    const auto lines = trace.Lines();
    std::vector<std::string> report_lines;
    for (const auto& l : lines) {
        if (l.rfind("dw", 0) == 0 || l.rfind("GetCheckSum", 0) == 0) {
            report_lines.push_back(l);
        }
    }
    char expected[4][64];
    std::snprintf(expected[0], 64, "dwStartAddress        = 0x%08x", start);
    std::snprintf(expected[1], 64, "dwEndAddress          = 0x%08x", end);
    std::snprintf(expected[2], 64, "dwCheckSumSaved       = 0x%08x", saved);
    std::snprintf(expected[3], 64, "dwCheckSumCalculated  = 0x%08x", calculated);
    EXPECT_EQ(report_lines, (std::vector<std::string>{"GetCheckSum (1)", expected[0], expected[1],
                                                      expected[2], expected[3]}));
    EXPECT_EQ(std::string(expected[0]).find('='), 22U) << "equals signs in column 23";
}

SIM_TEST(Protocol, GetApplicationActiveReadsTheStateByte, "") {
    EXPECT_EQ(conn->GetApplicationActive(), 2);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, 0x08}}));
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0x06}, {0x02}}));
    EXPECT_EQ(TranscriptOf(1), std::vector<std::string>{"CMD 8 GetApplicationActive -> state=2"});
}

SIM_TEST(Protocol, SetApplicationActivePausesAndPurges, "") {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(conn->SetApplicationActive(1), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(Sent(),
              (std::vector<Bytes>{{0x11, 0x00, 0x06}, {0x00, 0x01, 0x5D, 0x2E, 0x91, 0xC4}}));
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0x06}, {0x06}}));
    const std::string handle = std::to_string(static_cast<int>(conn->pComm->hComm));
    EXPECT_TRUE(trace.Has("{cg}*FlushComm (" + handle + ", 1) = Ok"));
    EXPECT_EQ(TranscriptOf(1), std::vector<std::string>{
                                   "CMD 6 SetApplicationActive state=1 guard=0x5d2e91c4 -> ACK"});
}

SIM_TEST(Protocol, InitEEPROMAndDeviceType, "") {
    EXPECT_EQ(conn->InitEEPROM(), 1);
    EXPECT_TRUE(trace.Has("{cb}InitEEPROM ()"));
    EXPECT_TRUE(trace.Has("{cg}*InitEEPROM ()"));
    EXPECT_EQ(conn->GetDeviceType(), 2);
    EXPECT_TRUE(trace.Has("{cc}GetDeviceType"));
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x11, 0x00, 0x03}, {0x14}}));
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0x06}, {0x06}, {0x00, 0x01}}));
    EXPECT_EQ(TranscriptOf(2),
              (std::vector<std::string>{"CMD 3 InitEEPROM -> ACK", "DEVTYPE -> ACK type=0x0001"}));
}

}  // namespace

namespace {

// Natively and through wine's serial layer: connecting starts the port's poll thread,
// disconnecting must end it, every time.
SIM_TEST(Protocol, ConnectionsOpenAndCloseManyTimes, "") {
    TraceLevels quiet(2);
    conn.reset();
    for (int i = 0; i < 200; ++i) {
        ProtokollTQ8 again(kProtocolWindow, sim->Port());
        ASSERT_EQ(again.fProtokollAktiv, 1) << "round " << i;
        if (i % 50 == 0) {
            EXPECT_EQ(again.GetApplicationActive(), 2);
        }
    }
    EXPECT_TRUE(scripted::Boxes().empty());
    EXPECT_TRUE(trace.Lines().empty()) << ::testing::PrintToString(trace.Lines());
}

}  // namespace
