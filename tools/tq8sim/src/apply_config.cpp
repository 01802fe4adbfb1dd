// What the command line asks of the machine, applied before it serves.
#include "cli_options.h"
#include "tq8sim/arguments.h"

namespace tq8sim {

void ApplyConfig(const ProgramConfig& config, Simulator& simulator) {
    for (const auto& [id, value] : config.variables) {
        simulator.SetVariable(id, value);
    }
    if (config.applicationState) {
        simulator.SetApplicationState(*config.applicationState);
    }
    for (const FaultSpec& fault : config.faults) {
        const auto command = static_cast<uint16_t>(fault.first);
        // Without --in-download a download fault is meant for the first download.
        const uint32_t download = fault.download == 0 ? 1 : fault.download;
        switch (fault.kind) {
            case FaultSpec::Kind::kNak:
                simulator.InjectNak(command, fault.count);
                break;
            case FaultSpec::Kind::kSilence:
                simulator.InjectSilence(command, fault.count);
                break;
            case FaultSpec::Kind::kWrongByte:
                simulator.InjectWrongByte(command, static_cast<uint8_t>(fault.second), fault.count);
                break;
            case FaultSpec::Kind::kKennung:
                simulator.InjectKennung(command, static_cast<uint16_t>(fault.second));
                break;
            case FaultSpec::Kind::kBlockNoAck:
                simulator.InjectBlockNoAck(fault.first, download);
                break;
            case FaultSpec::Kind::kBlockByte:
                simulator.InjectBlockWrongByte(fault.first, static_cast<uint8_t>(fault.second),
                                               download);
                break;
            case FaultSpec::Kind::kTrailerNak:
                simulator.InjectTrailerNak(download);
                break;
            case FaultSpec::Kind::kEraseNak:
                simulator.InjectEraseNak(download);
                break;
            case FaultSpec::Kind::kEraseSilent:
                simulator.InjectEraseSilence(download);
                break;
            case FaultSpec::Kind::kChecksumMismatch:
                simulator.InjectChecksumMismatch(static_cast<int>(fault.first));
                break;
            case FaultSpec::Kind::kRefuseRate:
                simulator.InjectRateRefusal();
                break;
            case FaultSpec::Kind::kSlowErase:
                if (fault.download == 0) {
                    simulator.InjectSlowErase(fault.first);
                } else {
                    simulator.InjectSlowErase(fault.first, fault.download);
                }
                break;
            case FaultSpec::Kind::kStray:
                simulator.InjectStrayBytes(fault.bytes);
                break;
            case FaultSpec::Kind::kVanishAfter:
                simulator.InjectVanishAfterBlock(fault.first, download);
                break;
        }
    }
}

bool ApplyArguments(Simulator& simulator, const std::vector<std::string>& args,
                    std::string* error) {
    ProgramConfig config;
    if (!ParseCommandLine(args, &config, error)) {
        return false;
    }
    const ProgramConfig plain;
    if (!(config.options == plain.options) || config.device != plain.device ||
        config.link != plain.link || config.help) {
        *error =
            "only faults, variables and the application state can be given to a machine "
            "that is already made";
        return false;
    }
    ApplyConfig(config, simulator);
    return true;
}

}  // namespace tq8sim
