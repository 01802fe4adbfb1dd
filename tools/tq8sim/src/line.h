// The machine's end of the serial line: a pty master (or a given device), reads with
// gap time-outs, the wire time of every byte when pacing, garbling when host and machine
// disagree about the line rate, and waits that Stop() can cut short.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>

namespace tq8sim {

// The line rates the machine can switch to.
bool IsSupportedRate(uint32_t rate);
// What a byte sent at one rate and sampled at another turns into: never a control byte,
// so a mismatched line cannot be mistaken for a working one.
uint8_t GarbleByte(uint8_t byte);
uint64_t MonotonicNs();

class Line {
  public:
    enum class Status { kOk, kTimeout, kStopped, kGone };

    Line();
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool OpenPty(uint32_t rate, std::string* slavePath, std::string* error);
    bool OpenDevice(const std::string& path, uint32_t rate, std::string* error);
    bool IsOpen() const;
    void Close();  // the device is gone for the host too

    void RequestStop();  // any thread
    void ResetStop();

    void SetPace(bool pace) { pace_ = pace; }
    void SetMachineRate(uint32_t rate);
    uint32_t MachineRate() const { return machineRate_; }
    uint32_t HostRate() const;  // 0 when it can't be known (not a pty)
    // Called with a short note when the line starts or stops being garbled.
    void SetNoteSink(std::function<void(const std::string&)> sink) { note_ = std::move(sink); }

    // Reads `count` bytes. Each must come within gapMs of the previous one (the first of
    // the call); gapMs < 0 waits without limit. `got` tells how many came.
    Status Read(uint8_t* out, size_t count, int gapMs, size_t* got);
    // Whether the host has sent anything not yet read.
    bool InputPending();
    // The machine is busy (erasing, programming) for this long before its next answer.
    void Busy(uint64_t ns);
    // Sleeps until the machine is no longer busy; false when stopped meanwhile.
    bool WaitIdle();
    // Sends bytes; when pacing, they reach the host after their wire time.
    void Write(std::span<const uint8_t> bytes);

  private:
    Status Fill(uint64_t deadline);
    Status Failed(int error);  // notes the error that ends the serving
    bool SleepUntil(uint64_t deadline);
    bool Mismatched(const char* direction);
    uint64_t ByteNs() const;
    uint64_t LineNow() const;  // now on the line's clock
    uint64_t ReplyCredit();    // how far the bytes just read are dated back

    struct Incoming {
        uint8_t byte;
        uint64_t arrival;
    };

    mutable std::mutex fdMutex_;  // fd_ is closed on the serving thread, read by queries
    int fd_ = -1;
    bool isPty_ = false;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    bool pace_ = false;
    std::atomic<uint32_t> machineRate_{9600};  // read by queries from other threads
    std::deque<Incoming> incoming_;
    // The line's clock. With pacing every byte gets the moment it would have finished
    // crossing a real wire: the host's bytes one after the other from the moment they were
    // sent, the machine's from the moment it is ready. An answer that leaves later than
    // its moment (the serving thread woke late on a busy system) still counts as on time:
    // what the host sends after seeing it is dated back by that lateness, slip_, so a late
    // wake-up costs the exchange nothing and is made up by the next answer.
    uint64_t inFree_ = 0;       // when the last consumed byte had fully arrived
    uint64_t outFree_ = 0;      // when the outgoing wire is free again
    uint64_t machineTime_ = 0;  // the machine may answer from this moment on
    uint64_t slip_ = 0;         // how late the last paced answer left
    // The pty's own delay both ways is no part of the line either: what the host sends
    // after an answer is dated back by it (credit_), at most to the answer's moment.
    uint64_t ptyRoundTrip_ = 0;
    uint64_t answerSent_ = 0;  // when the last answer was handed to the pty
    bool awaitingReply_ = false;
    uint64_t credit_ = 0;
    bool reportedMismatch_ = false;
    std::function<void(const std::string&)> note_;
};

}  // namespace tq8sim
