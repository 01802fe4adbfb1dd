// The machine's variables and application state, optionally kept in a small text file
// so that successive runs of the simulator continue where the last one stopped.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tq8sim {

class MachineState {
  public:
    // Reads `stateFile` when it is set and exists; every change is written back to it.
    explicit MachineState(std::string stateFile);

    std::optional<int16_t> Variable(uint16_t id) const;
    // Ids below 1000 are the host-writable ones; the rest is the machine's own data.
    static bool Writable(uint16_t id) { return id < 1000; }
    void SetVariable(uint16_t id, int16_t value);
    uint8_t ApplicationState() const { return applicationState_; }
    void SetApplicationState(uint8_t state);

    // Text form of the state file: "application_state=N" and "variable.ID=VALUE" lines,
    // values as unsigned 16-bit numbers, '#' starts a comment.
    std::string Serialize() const;
    bool Parse(const std::string& text);

    const std::string& LastError() const { return lastError_; }

  private:
    void Save();

    std::string stateFile_;
    std::map<uint16_t, int16_t> variables_;
    uint8_t applicationState_;
    std::string lastError_;
};

}  // namespace tq8sim
