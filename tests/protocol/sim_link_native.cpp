// The machine in-process: tq8sim's simulator on a pty, bound to a COM port number.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "platform/serial.h"
#include "sim_link.h"
#include "tq8sim/simulator.h"

namespace {

constexpr int kSimPort = 7;

uint32_t Number(const std::string& text) {
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

uint16_t Command(const std::string& text) {
    return text == "devtype" ? tq8sim::kDeviceTypeCommand : static_cast<uint16_t>(Number(text));
}

// The options the tests use, applied as the program applies them.
bool Apply(tq8sim::Simulator& sim, const std::string& options) {
    std::istringstream in(options);
    std::string option;
    while (in >> option) {
        std::string value;
        if (option != "--refuse-rate" && option != "--trailer-nak" && !(in >> value)) {
            return false;
        }
        const size_t eq = value.find('=');
        const std::string left = value.substr(0, eq);
        const std::string right = eq == std::string::npos ? "" : value.substr(eq + 1);
        if (option == "--nak") {
            sim.InjectNak(Command(value));
        } else if (option == "--silent") {
            sim.InjectSilence(Command(value));
        } else if (option == "--wrong-byte") {
            sim.InjectWrongByte(Command(left), static_cast<uint8_t>(Number(right)));
        } else if (option == "--kennung") {
            sim.InjectKennung(static_cast<uint16_t>(Number(left)),
                              static_cast<uint16_t>(Number(right)));
        } else if (option == "--var") {
            sim.SetVariable(static_cast<uint16_t>(Number(left)),
                            static_cast<int16_t>(std::strtol(right.c_str(), nullptr, 0)));
        } else if (option == "--refuse-rate") {
            sim.InjectRateRefusal();
        } else if (option == "--trailer-nak") {
            sim.InjectTrailerNak();
        } else if (option == "--checksum-mismatch") {
            sim.InjectChecksumMismatch(static_cast<int>(Number(value)));
        } else if (option == "--slow-erase") {
            sim.InjectSlowErase(Number(value));
        } else if (option == "--block-noack") {
            sim.InjectBlockNoAck(Number(value));
        } else if (option == "--vanish-after") {
            sim.InjectVanishAfterBlock(Number(value));
        } else if (option == "--stray") {
            // One byte, in hexadecimal, as the program reads it.
            sim.InjectStrayBytes({static_cast<uint8_t>(std::strtoul(value.c_str(), nullptr, 16))});
        } else {
            return false;
        }
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
