// The simulated Kovra TQ VIII in bootloader mode: answers the host's frames on a
// pseudo-terminal (or a given device) from its own thread, with fault injection for tests.
//
// Transcript lines (one per frame seen and answered), for tests to assert on:
//   CMD 3 InitEEPROM -> ACK
//   CMD 4 ReadVariable id=62 -> ACK kennung=2 value=5
//   CMD 5 WriteVariable id=61 value=2005 -> ACK            (-> NAK for a read-only id)
//   CMD 6 SetApplicationActive state=1 guard=0x5d2e91c4 -> ACK   (-> NAK on a wrong guard)
//   CMD 8 GetApplicationActive -> state=2
//   DL start=0x00004000 end=0x0003ffff -> ACK erase=240ms  (-> NAK reason=..., -> SILENT)
//   BLOCK 17 addr=0x00004220 -> ACK                        (-> NOACK, -> BYTE 0x42)
//   TRAILER xor=0x5a sum=0x0012ab34 -> ACK                 (-> NAK expected xor=.. sum=..)
//   DL ABORT blocks=5 reason=gap                           (left download mode early)
//   RATE 38400 -> ACK                                      (-> NAK)
//   CHECKSUM area=1 start=0x00004000 end=0x0003ffff saved=0x... calc=0x...
//   DEVTYPE -> ACK type=0x0001
//   NAK cmd=4                 (frame rejected: unknown code or injected NAK)
//   SILENT cmd=4              (injected silence)
//   WRONG cmd=4 byte=0x42     (injected wrong byte)
//   STRAY 0x41                (a byte outside any frame, ignored)
//   TIMEOUT cmd=4 got=1       (a frame left incomplete for the gap time, dropped)
//   SENT-STRAY 41 42          (injected stray bytes, sent before the answer that follows)
//   VANISH after block 3      (the device disappeared)
// Garbled bytes (host at another line rate than the machine) show up as whatever they
// decode to, usually STRAY lines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tq8sim {

// Memory map of the machine.
inline constexpr uint32_t kBootStart = 0x00000;
inline constexpr uint32_t kBootEnd = 0x03FFF;
inline constexpr uint32_t kApplicationStart = 0x04000;
inline constexpr uint32_t kApplicationEnd = 0x7FFFF;
inline constexpr uint32_t kTextStart = 0x80000;
inline constexpr uint32_t kTextEnd = 0x9FFFF;
inline constexpr uint32_t kMemorySize = kTextEnd + 1;
inline constexpr uint32_t kGuardCode = 0x5D2E91C4;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kCommandIntro = 0x11;
inline constexpr uint8_t kDeviceTypeByte = 0x14;
// Fault injection addresses the device-type query with this code.
inline constexpr uint16_t kDeviceTypeCommand = 0x14;
// Download faults given without a download number hit the next download to start.
inline constexpr uint32_t kNextDownload = 0;

// Variables the machine knows at start, before a state file is read.
inline constexpr int16_t kDefaultVersion = 102;  // variable 0: 1.02
inline constexpr int16_t kDefaultBuild = 5;      // variable 2384
inline constexpr int16_t kDefaultSerial = 4711;  // variable 2398
inline constexpr uint8_t kDefaultApplicationState = 2;

struct Options {
    uint32_t rate = 9600;              // the machine's line rate at start
    bool pace = false;                 // delay every byte by its wire time (10 bit times)
    std::string stateFile;             // variables and application state persisted here when set
    std::string transcriptFile;        // transcript lines also appended here when set
    uint32_t eraseMsPerKiB = 1;        // erase time per started KiB of the download range
    uint32_t programUsPerBlock = 100;  // programming time of one 32-byte block
    uint32_t downloadGapMs = 1000;     // leaves download mode (or drops a frame) after this gap
    bool transcriptToStderr = false;   // echo transcript lines to standard error

    bool operator==(const Options&) const = default;
};

class Simulator {
  public:
    explicit Simulator(Options options = {});
    ~Simulator();  // stops and closes
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool CreatePty();  // opens a pty; DevicePath() is the slave path
    bool ServeDevice(
        const std::string& path);  // or serve a given device (a real port, a socat end)
    const std::string& DevicePath() const;
    bool Start();  // serves on its own thread
    void Stop();
    bool Serving() const;   // the thread runs and the device is there
    bool Vanished() const;  // the device disappeared by an injected fault

    // Faults, settable from tests at any time (thread-safe); count -1 = every time.
    void InjectNak(uint16_t command, int count = -1);      // NAK instead of ACK to that frame
    void InjectSilence(uint16_t command, int count = -1);  // no answer at all to that frame
    void InjectWrongByte(uint16_t command, uint8_t byte, int count = -1);  // another byte than ACK
    void InjectKennung(uint16_t variable, uint16_t kennung);  // ReadVariable answers this kennung
    // Faults of one download: `download` is its number in the run (1 for the first start
    // request since the simulator was made, refused ones included), or kNextDownload.
    // Blocks count from 0.
    void InjectBlockNoAck(uint32_t block, uint32_t download = kNextDownload);
    void InjectBlockWrongByte(uint32_t block, uint8_t byte, uint32_t download = kNextDownload);
    void InjectTrailerNak(uint32_t download = kNextDownload);
    void InjectVanishAfterBlock(uint32_t block, uint32_t download = kNextDownload);
    void InjectEraseNak(uint32_t download = kNextDownload);      // start request refused
    void InjectEraseSilence(uint32_t download = kNextDownload);  // start request unanswered
    void InjectSlowErase(uint32_t ms);                           // extra time, every erase
    void InjectSlowErase(uint32_t ms, uint32_t download);        // extra time, that erase
    void InjectChecksumMismatch(int area);              // report saved != calculated for the area
    void InjectRateRefusal();                           // NAK the rate switch
    void InjectStrayBytes(std::vector<uint8_t> bytes);  // sent before the next answer
    void ClearFaults();                                 // the count of downloads stays
    uint32_t DownloadsStarted() const;                  // start requests read so far

    // State, thread-safe.
    int16_t Variable(uint16_t id) const;
    void SetVariable(uint16_t id, int16_t value);
    uint8_t ApplicationState() const;
    void SetApplicationState(uint8_t state);
    std::vector<uint8_t> ReadMemory(uint32_t address, uint32_t size) const;
    uint32_t LineRate() const;                    // the machine's current rate
    uint32_t HostLineRate() const;                // what the host configured on the pty (0 unknown)
    std::vector<std::string> Transcript() const;  // one line per frame seen and answered
    void ClearTranscript();

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tq8sim
