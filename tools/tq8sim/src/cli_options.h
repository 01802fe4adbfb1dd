// The command line of the tq8sim program, parsed into options and faults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tq8sim/simulator.h"

namespace tq8sim {

struct FaultSpec {
    enum class Kind {
        kNak,
        kSilence,
        kWrongByte,
        kKennung,
        kBlockNoAck,
        kBlockByte,
        kTrailerNak,
        kEraseNak,
        kEraseSilent,
        kChecksumMismatch,
        kRefuseRate,
        kSlowErase,
        kStray,
        kVanishAfter
    };
    Kind kind = Kind::kNak;
    uint32_t first = 0;   // command, variable, block, area or milliseconds
    uint32_t second = 0;  // byte or kennung
    int count = -1;
    std::vector<uint8_t> bytes;
    uint32_t download = 0;  // from --in-download; 0 when none came before the fault
};

struct ProgramConfig {
    Options options;
    std::string device;  // serve this device instead of a new pty
    std::string link;    // also make this symbolic link point to the pty
    bool help = false;
    std::vector<FaultSpec> faults;
    std::vector<std::pair<uint16_t, int16_t>> variables;
    std::optional<uint8_t> applicationState;
};

// args without the program name, read in their order. False with a message on the first
// bad argument; --help only sets help.
bool ParseCommandLine(const std::vector<std::string>& args, ProgramConfig* config,
                      std::string* error);
void ApplyConfig(const ProgramConfig& config, Simulator& simulator);
// The parser's own help: every option, and what the machine does that no option shows.
std::string HelpText();

}  // namespace tq8sim
