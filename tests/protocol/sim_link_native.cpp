// The machine in-process: tq8sim's simulator on a pty, bound to a COM port number.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/serial.h"
#include "sim_link.h"
#include "tq8sim/arguments.h"
#include "tq8sim/simulator.h"

namespace {

constexpr int kSimPort = 7;

// The test's options in the program's own words, so that they mean here what they mean to
// the program the wine script starts.
bool Apply(tq8sim::Simulator& sim, const std::string& options) {
    std::istringstream in(options);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    std::string error;
    if (!tq8sim::ApplyArguments(sim, words, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    return true;
}

class NativeLink : public SimLink {
  public:
    bool Open(const std::string& options) {
        if (!sim_.CreatePty() || !Apply(sim_, options) || !sim_.Start()) {
            return false;
        }
        platform::MapSerialPort(kSimPort, sim_.DevicePath());
        return true;
    }
    ~NativeLink() override {
        sim_.Stop();
        platform::MapSerialPort(kSimPort, "");
    }
    int Port() const override { return kSimPort; }
    std::vector<std::string> Transcript() override { return sim_.Transcript(); }
    void ClearTranscript() override { sim_.ClearTranscript(); }
    bool Vanished() override { return sim_.Vanished(); }

  private:
    tq8sim::Simulator sim_;
};

}  // namespace

std::unique_ptr<SimLink> SimLink::Start() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const char* options = SimOptionsOf(std::string(info->test_suite_name()) + "." + info->name());
    auto link = std::make_unique<NativeLink>();
    if (!link->Open(options != nullptr ? options : "")) {
        ADD_FAILURE() << "the simulated machine did not start with '" << options << "'";
        return nullptr;
    }
    return link;
}
