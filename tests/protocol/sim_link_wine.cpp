// The machine as a native tq8sim program started by scripts/test-wine-serial.sh: the
// port number and the transcript file come from the environment.

#include <cstdlib>
#include <fstream>

#include "sim_link.h"

namespace {

class ProgramLink : public SimLink {
  public:
    ProgramLink(int port, std::string transcript) : port_(port), path_(std::move(transcript)) {}
    int Port() const override { return port_; }
    std::vector<std::string> Transcript() override {
        std::vector<std::string> lines = ReadAll();
        lines.erase(lines.begin(), lines.begin() + std::min(skip_, lines.size()));
        return lines;
    }
    void ClearTranscript() override { skip_ = ReadAll().size(); }
    bool Vanished() override {
        for (const auto& line : ReadAll()) {
            if (line.rfind("VANISH", 0) == 0) {
                return true;
            }
        }
        return false;
    }

  private:
    std::vector<std::string> ReadAll() const {
        std::vector<std::string> lines;
        std::ifstream in(path_);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
        }
        return lines;
    }
    int port_;
    std::string path_;
    size_t skip_ = 0;
};

// A Unix path seen from inside wine: drive Z: is the root.
std::string WinePath(const char* unixPath) {
    std::string path = "Z:";
    for (const char* p = unixPath; *p != '\0'; ++p) {
        path += *p == '/' ? '\\' : *p;
    }
    return path;
}

}  // namespace

std::unique_ptr<SimLink> SimLink::Start() {
    const char* port = std::getenv("TQ8_SIM_PORT");
    const char* transcript = std::getenv("TQ8_SIM_TRANSCRIPT");
    if (port == nullptr || transcript == nullptr) {
        return nullptr;  // run by scripts/test-wine-serial.sh only
    }
    return std::make_unique<ProgramLink>(std::atoi(port), WinePath(transcript));
}
