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

DownloadFaults& Faults::PlanDownload(uint32_t number) {
    return downloads_[number == 0 ? downloadsStarted_ + 1 : number];
}

DownloadFaults Faults::TakeDownload() {
    ++downloadsStarted_;
    DownloadFaults taken;
    const auto found = downloads_.find(downloadsStarted_);
    if (found != downloads_.end()) {
        taken = found->second;
        downloads_.erase(found);
    }
    // A plan made for a download that has already been is never taken.
    downloads_.erase(downloads_.begin(), downloads_.lower_bound(downloadsStarted_));
    return taken;
}

void Faults::AddStray(const std::vector<uint8_t>& bytes) {
    stray_.insert(stray_.end(), bytes.begin(), bytes.end());
}

void Faults::Clear() {
    const uint32_t started = downloadsStarted_;
    *this = Faults{};
    downloadsStarted_ = started;
}

std::vector<uint8_t> Faults::TakeStray() {
    std::vector<uint8_t> taken;
    taken.swap(stray_);
    return taken;
}

}  // namespace tq8sim
