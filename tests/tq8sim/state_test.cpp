// What outlives one exchange: the state file across runs, the transcript file, and a
// host that closes and reopens the port.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "raw_host.h"

namespace tq8sim_test {
namespace {

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/tq8sim-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() {
        std::remove((path_ + "/state").c_str());
        std::remove((path_ + "/transcript").c_str());
        rmdir(path_.c_str());
    }
    std::string File(const char* name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteVariable(RawHost& host, uint16_t id, int16_t value) {
    host.Exchange(Frame(5), 1);
    host.Exchange(Concat({WordBytes(id), WordBytes(static_cast<uint16_t>(value))}), 1);
}

TEST(State, UpdateRecordSurvivesIntoTheNextRun) {
    TempDir dir;
    tq8sim::Options options = FastOptions();
    options.stateFile = dir.File("state");
    {
        Rig first(options);
        EXPECT_EQ(first.simulator.Variable(62), -1) << "never written on a new machine";
        WriteVariable(first.host, 62, 1);
        WriteVariable(first.host, 61, 2026);
        first.host.Exchange(Frame(6), 1);
        first.host.Exchange({0x00, 0x01, 0x5D, 0x2E, 0x91, 0xC4}, 1);
    }
    Rig second(options);
    EXPECT_EQ(second.simulator.Variable(62), 1);
    EXPECT_EQ(second.simulator.Variable(61), 2026);
    EXPECT_EQ(second.simulator.ApplicationState(), 1);
    EXPECT_EQ(second.simulator.Variable(2398), tq8sim::kDefaultSerial);
    second.host.Exchange(Frame(4), 1);
    EXPECT_EQ(second.host.Exchange(WordBytes(62), 4), (Bytes{0x00, 0x02, 0x00, 0x01}));
    EXPECT_NE(ReadAll(options.stateFile).find("variable.62=1\n"), std::string::npos);
}

TEST(State, NegativeValuesRoundTripThroughTheFile) {
    TempDir dir;
    tq8sim::Options options = FastOptions();
    options.stateFile = dir.File("state");
    {
        tq8sim::Simulator simulator(options);
        simulator.SetVariable(62, -2);
        simulator.SetVariable(500, 32767);
    }
    tq8sim::Simulator again(options);
    EXPECT_EQ(again.Variable(62), -2);
    EXPECT_EQ(again.Variable(500), 32767);
}

TEST(State, TranscriptFileGetsEveryLine) {
    TempDir dir;
    tq8sim::Options options = FastOptions();
    options.transcriptFile = dir.File("transcript");
    Rig rig(options);
    rig.host.Exchange(Frame(8), 2);
    rig.host.Exchange(Frame(99), 1);
    ASSERT_TRUE(WaitForLine(rig.simulator, "NAK cmd=99"));
    EXPECT_EQ(ReadAll(options.transcriptFile),
              "CMD 8 GetApplicationActive -> state=2\nNAK cmd=99\n");
}

TEST(Line, MachineWaitsWhileTheHostHasThePortClosed) {
    Rig rig;
    rig.host.Close();
    // Reads on the master fail with EIO now; the machine must keep serving.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(rig.simulator.Serving());
    ASSERT_TRUE(rig.host.Open(9600));
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
    for (int i = 0; i < 3; ++i) {
        rig.host.Close();
        ASSERT_TRUE(rig.host.Open(9600));
    }
    EXPECT_EQ(rig.simulator.HostLineRate(), 9600u) << "the slave keeps its settings";
    EXPECT_EQ(rig.host.Exchange(Frame(8), 2), (Bytes{0x06, 0x02}));
}

TEST(Line, StopAndStartAgainOnTheSamePty) {
    Rig rig;
    rig.simulator.Stop();
    EXPECT_FALSE(rig.simulator.Serving());
    EXPECT_TRUE(rig.host.Exchange(Frame(8), 2, 150).empty());
    ASSERT_TRUE(rig.simulator.Start());
    // The frame sent while stopped is still queued and is answered first.
    EXPECT_EQ(rig.host.Receive(2), (Bytes{0x06, 0x02}));
}

TEST(Line, PacedAnswersStillArriveWhole) {
    tq8sim::Options options = FastOptions();
    options.pace = true;
    Rig rig(options);
    rig.simulator.SetVariable(62, 3);
    rig.host.Exchange(Frame(4), 1);
    EXPECT_EQ(rig.host.Exchange(WordBytes(62), 4), (Bytes{0x00, 0x02, 0x00, 0x03}));
    EXPECT_EQ(Download(rig.host, 0x4000, Bytes(64, 0x33)), Bytes(5, 0x06));
}

}  // namespace
}  // namespace tq8sim_test
