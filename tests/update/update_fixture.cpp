#include "update_fixture.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "image/file_obj.h"
#include "image/load_mot.h"
#include "image/memory_image.h"
#include "platform/interrupt.h"
#include "platform/process.h"
#include "platform/serial.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/utils.h"

namespace fs = std::filesystem;

namespace {

std::string MakeTempDir(const char* stem) {
    std::string pattern = std::string("/tmp/") + stem + "XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    return made != nullptr ? made : "";
}

const std::string kOperator = "service";

}  // namespace

void UpdateTest::SetUp() {
    scripted::Reset();
    scripted::SetDefaultAnswer(kIdYes);
    bundle_ = MakeTempDir("tq8bundle");
    config_ = MakeTempDir("tq8config");
    ASSERT_FALSE(bundle_.empty());
    ASSERT_FALSE(config_.empty());
    for (const char* name : {"TQ8-PROG.MOT", "TQ8-TEXT.MOT", "TQ8-CRC.INI"}) {
        fs::copy_file(fs::path(TQ8_SAMPLE_FIRMWARE) / name, fs::path(bundle_) / name);
    }
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    platform::SetUserNameOverride(&kOperator);
    CopyString(szProgramDirectory, bundle_.c_str(), sizeof szProgramDirectory);
    nLanguageOffset = 0;
    nInterface = kMachinePort;
    platform::ClearStop();

    ASSERT_TRUE(sim_.CreatePty());
    ASSERT_TRUE(sim_.Start());
    for (int port = 1; port <= 8; ++port) {
        platform::MapSerialPort(port, port == kMachinePort
                                          ? sim_.DevicePath()
                                          : "/nonexistent/tty" + std::to_string(port));
    }
    trace_.Clear();
}

void UpdateTest::TearDown() {
    CloseConnection();
    sim_.Stop();
    for (int port = 1; port <= 8; ++port) {
        platform::MapSerialPort(port, "");
    }
    platform::SetUserNameOverride(nullptr);
    ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    fs::remove_all(bundle_, ignored);
    fs::remove_all(config_, ignored);
}

std::vector<std::string> UpdateTest::Shape() const {
    std::vector<std::string> out;
    size_t blocks = 0;
    auto flush = [&] {
        if (blocks > 0) {
            out.push_back("BLOCKS " + std::to_string(blocks));
            blocks = 0;
        }
    };
    for (const std::string& line : sim_.Transcript()) {
        if (line.rfind("BLOCK ", 0) == 0 && line.size() > 6 &&
            line.compare(line.size() - 6, 6, "-> ACK") == 0) {
            ++blocks;
            continue;
        }
        flush();
        out.push_back(line);
    }
    flush();
    return out;
}

std::vector<std::string> UpdateTest::LinesStarting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : sim_.Transcript()) {
        if (line.rfind(prefix, 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

std::vector<std::string> UpdateTest::Captions() const {
    std::vector<std::string> out;
    for (const auto& box : scripted::Boxes()) {
        out.push_back(box.caption);
    }
    return out;
}

ImageFacts UpdateTest::Facts(const char* name) const {
    FileObj file;
    const std::string path = bundle_ + "/" + name;
    EXPECT_EQ(file.fopen(path.c_str(), platform::kGenericRead, platform::kFileShareRead,
                         platform::kOpenExisting, platform::kFileAttributeNormal, 0),
              1);
    MemoryImage image;
    ImageFacts facts;
    LoadOptions options;
    options.checksumDirectory = bundle_;
    options.maintainerStep = false;
    options.messageBoxes = false;
    LoadReport loaded;
    EXPECT_EQ(LoadMotFileWith(file, image, facts.start, facts.size, options, &loaded), 1) << name;
    facts.crc = loaded.crc;
    for (uint8_t byte : image.Bytes()) {
        facts.xorValue ^= byte;
        facts.sum += byte;
    }
    return facts;
}

int32_t UpdateTest::StoredInterface(int32_t fallback) const {
    return RegReadDword(HKEY_CURRENT_USER_ROOT, kProgramKey, "Interface", fallback);
}

void UpdateTest::WriteFile(const char* name, const std::string& text) const {
    std::ofstream(bundle_ + "/" + name, std::ios::binary | std::ios::trunc) << text;
}

std::string UpdateTest::ReadFile(const char* name) const {
    std::ifstream in(bundle_ + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void UpdateTest::RemoveFile(const char* name) const {
    fs::remove(fs::path(bundle_) / name);
}

std::vector<std::string> UpdateTest::SuccessfulShape() const {
    const ImageFacts program = Facts("TQ8-PROG.MOT");
    const ImageFacts text = Facts("TQ8-TEXT.MOT");
    char line[160];
    std::vector<std::string> shape = {
        "CMD 8 GetApplicationActive -> state=2",
        "CMD 4 ReadVariable id=2398 -> ACK kennung=2 value=4711",
        "CMD 4 ReadVariable id=0 -> ACK kennung=2 value=102",
        "CMD 4 ReadVariable id=2384 -> ACK kennung=2 value=5",
        "CMD 8 GetApplicationActive -> state=2",
        "CMD 6 SetApplicationActive state=1 guard=0x5d2e91c4 -> ACK",
        "RATE 38400 -> ACK",
    };
    for (const ImageFacts& image : {program, text}) {
        std::snprintf(line, sizeof line, "DL start=0x%08x end=0x%08x -> ACK erase=0ms", image.start,
                      image.start + image.size - 1);
        shape.emplace_back(line);
        shape.push_back("BLOCKS " + std::to_string(image.size / 32));
        std::snprintf(line, sizeof line, "TRAILER xor=0x%02x sum=0x%08x -> ACK", image.xorValue,
                      image.sum);
        shape.emplace_back(line);
    }
    return shape;
}

void UpdateTest::WaitForTranscriptToSettle() const {
    // Settled: no new line for 100 ms, within 5 s at most.
    size_t lines = sim_.Transcript().size();
    int quiet = 0;
    for (int i = 0; i < 1000 && quiet < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const size_t now = sim_.Transcript().size();
        quiet = now == lines ? quiet + 1 : 0;
        lines = now;
    }
}

void UpdateTest::ClearTranscriptWhenSettled() {
    WaitForTranscriptToSettle();
    sim_.ClearTranscript();
}

void UpdateTest::WhenBlocksFlow(std::function<void()> action) {
    scripted::QueueMessage([this, action] {
        if (LinesStarting("BLOCK").empty()) {
            WhenBlocksFlow(action);
        } else {
            action();
        }
    });
}
