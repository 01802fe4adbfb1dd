// The faults a test or the command line asks the machine to show. Not thread-safe by
// itself: the simulator guards it with its own lock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace tq8sim {

struct CommandFault {
    enum class Kind { kNak, kSilence, kWrongByte };
    Kind kind = Kind::kNak;
    uint8_t byte = 0;
    int count = -1;  // -1: every time
};

// Faults of one download, taken as a whole when the download starts.
struct DownloadFaults {
    std::optional<uint32_t> noAckBlock;
    std::optional<uint32_t> wrongByteBlock;
    uint8_t wrongByte = 0;
    std::optional<uint32_t> vanishAfterBlock;
    bool trailerNak = false;
};

class Faults {
  public:
    // A later fault for the same command replaces the earlier one; count 0 clears it.
    void SetCommand(uint16_t command, CommandFault fault);
    // The fault for this frame, if any, used up by one.
    std::optional<CommandFault> TakeCommand(uint16_t command);

    void SetKennung(uint16_t variable, uint16_t kennung) { kennung_[variable] = kennung; }
    std::optional<uint16_t> Kennung(uint16_t variable) const;

    void SetBlockNoAck(uint32_t block) { next_.noAckBlock = block; }
    void SetBlockWrongByte(uint32_t block, uint8_t byte);
    void SetVanishAfterBlock(uint32_t block) { next_.vanishAfterBlock = block; }
    void SetTrailerNak() { next_.trailerNak = true; }
    // Hands the armed download faults to the download that starts now.
    DownloadFaults TakeDownload();

    void SetChecksumMismatch(int area) { checksumMismatch_.insert(area); }
    bool ChecksumMismatch(int area) const { return checksumMismatch_.count(area) != 0; }
    void SetRateRefusal() { refuseRate_ = true; }
    bool RateRefusal() const { return refuseRate_; }
    void SetSlowErase(uint32_t ms) { slowEraseMs_ = ms; }
    uint32_t SlowEraseMs() const { return slowEraseMs_; }
    void AddStray(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> TakeStray();

    void Clear() { *this = Faults{}; }

  private:
    std::map<uint16_t, CommandFault> command_;
    std::map<uint16_t, uint16_t> kennung_;
    DownloadFaults next_;
    std::set<int> checksumMismatch_;
    bool refuseRate_ = false;
    uint32_t slowEraseMs_ = 0;
    std::vector<uint8_t> stray_;
};

}  // namespace tq8sim
