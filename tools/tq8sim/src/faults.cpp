#include "faults.h"

namespace tq8sim {

void Faults::SetCommand(uint16_t command, CommandFault fault) {
    if (fault.count == 0) {
        command_.erase(command);
        return;
    }
    command_[command] = fault;
}

std::optional<CommandFault> Faults::TakeCommand(uint16_t command) {
    const auto found = command_.find(command);
    if (found == command_.end()) {
        return std::nullopt;
    }
    const CommandFault fault = found->second;
    if (found->second.count > 0 && --found->second.count == 0) {
        command_.erase(found);
    }
    return fault;
}

std::optional<uint16_t> Faults::Kennung(uint16_t variable) const {
    const auto found = kennung_.find(variable);
    if (found == kennung_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void Faults::SetBlockWrongByte(uint32_t block, uint8_t byte) {
    next_.wrongByteBlock = block;
    next_.wrongByte = byte;
}

DownloadFaults Faults::TakeDownload() {
    DownloadFaults taken = next_;
    next_ = DownloadFaults{};
    return taken;
}

void Faults::AddStray(const std::vector<uint8_t>& bytes) {
    stray_.insert(stray_.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> Faults::TakeStray() {
    std::vector<uint8_t> taken;
    taken.swap(stray_);
    return taken;
}

}  // namespace tq8sim
