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

// Faults of one download, taken as a whole when its start request has come.
struct DownloadFaults {
    // The answer to the start request: kNak refuses it without erasing, kSilence gives none.
    enum class Erase { kAck, kNak, kSilence };
    Erase erase = Erase::kAck;
    uint32_t slowEraseMs = 0;  // on top of the erase time of every download
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

    // The planned faults of download `number` (1 for the first start request since the
    // machine was made), 0 for the next one to start; made empty when none are planned.
    DownloadFaults& PlanDownload(uint32_t number);
    // Counts a start request and hands it the faults planned for it.
    DownloadFaults TakeDownload();
    uint32_t DownloadsStarted() const { return downloadsStarted_; }

    void SetChecksumMismatch(int area) { checksumMismatch_.insert(area); }
    bool ChecksumMismatch(int area) const { return checksumMismatch_.count(area) != 0; }
    void SetRateRefusal() { refuseRate_ = true; }
    bool RateRefusal() const { return refuseRate_; }
    void SetSlowErase(uint32_t ms) { slowEraseMs_ = ms; }
    uint32_t SlowEraseMs() const { return slowEraseMs_; }
    void AddStray(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> TakeStray();

    // Every fault goes; the count of downloads stays, it is the machine's history.
    void Clear();

  private:
    std::map<uint16_t, CommandFault> command_;
    std::map<uint16_t, uint16_t> kennung_;
    std::map<uint32_t, DownloadFaults> downloads_;
    uint32_t downloadsStarted_ = 0;
    std::set<int> checksumMismatch_;
    bool refuseRate_ = false;
    uint32_t slowEraseMs_ = 0;
    std::vector<uint8_t> stray_;
};

}  // namespace tq8sim
