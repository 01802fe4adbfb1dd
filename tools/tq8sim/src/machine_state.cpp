#include "machine_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tq8sim/simulator.h"

namespace tq8sim {
namespace {

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != '\0' || value > max || text[0] == '-') {
        return false;
    }
    *out = value;
    return true;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

MachineState::MachineState(std::string stateFile)
    : stateFile_(std::move(stateFile)), applicationState_(kDefaultApplicationState) {
    variables_[0] = kDefaultVersion;
    variables_[2384] = kDefaultBuild;
    variables_[2398] = kDefaultSerial;
    variables_[60] = -1;
    variables_[61] = -1;
    variables_[62] = -1;
    if (stateFile_.empty()) {
        return;
    }
    std::ifstream in(stateFile_, std::ios::binary);
    if (!in) {
        return;  // the first run creates it
    }
    std::ostringstream text;
    text << in.rdbuf();
    Parse(text.str());
}

std::optional<int16_t> MachineState::Variable(uint16_t id) const {
    const auto found = variables_.find(id);
    if (found == variables_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void MachineState::SetVariable(uint16_t id, int16_t value) {
    variables_[id] = value;
    Save();
}

void MachineState::SetApplicationState(uint8_t state) {
    applicationState_ = state;
    Save();
}

std::string MachineState::Serialize() const {
    std::string text = "# simulated machine state\n";
    text += "application_state=" + std::to_string(applicationState_) + "\n";
    for (const auto& [id, value] : variables_) {
        text += "variable." + std::to_string(id) + "=" +
                std::to_string(static_cast<uint16_t>(value)) + "\n";
    }
    return text;
}

bool MachineState::Parse(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    bool ok = true;
    while (std::getline(in, line)) {
        ++lineNumber;
        line = Trim(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto equals = line.find('=');
        const std::string key = equals == std::string::npos ? line : Trim(line.substr(0, equals));
        const std::string value = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
        unsigned long number = 0;
        unsigned long id = 0;
        if (key == "application_state" && ParseNumber(value, 255, &number)) {
            applicationState_ = static_cast<uint8_t>(number);
        } else if (key.rfind("variable.", 0) == 0 && ParseNumber(key.substr(9), 0xFFFF, &id) &&
                   ParseNumber(value, 0xFFFF, &number)) {
            variables_[static_cast<uint16_t>(id)] =
                static_cast<int16_t>(static_cast<uint16_t>(number));
        } else {
            // A damaged line is skipped rather than taking the whole state with it.
            lastError_ = "line " + std::to_string(lineNumber) + " not understood: " + line;
            ok = false;
        }
    }
    return ok;
}

void MachineState::Save() {
    if (stateFile_.empty()) {
        return;
    }
    // Written beside the target and renamed over it, so a crash never leaves half a file.
    const std::string temporary = stateFile_ + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            lastError_ = "cannot write " + temporary + ": " + std::strerror(errno);
            return;
        }
        out << Serialize();
        if (!out.flush()) {
            lastError_ = "cannot write " + temporary;
            return;
        }
    }
    if (std::rename(temporary.c_str(), stateFile_.c_str()) != 0) {
        lastError_ = "cannot rename to " + stateFile_ + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
    }
}

}  // namespace tq8sim
