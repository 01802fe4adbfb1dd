#pragma once
// The client's side of a telnet connection to a serial device server. Option negotiation,
// the doubling of 0xFF in data and the framing of subnegotiations are libtelnet's; this
// class keeps what the COM-PORT option (RFC 2217, option 44) needs: whether the server
// took the option, its answers to the client's requests, and the serial data in between.
// No I/O: bytes from the server go in, bytes for the server come out.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct telnet_t;
union telnet_event_t;

namespace platform {

inline constexpr uint8_t kTelnetComPortOption = 44;

// Requests of the COM-PORT option; the server answers each with the code + 100.
enum class ComPortCommand : uint8_t {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kPurgeData = 12,
};
inline constexpr uint8_t kPurgeServerReceive = 1;   // what the line received, not yet sent to us
inline constexpr uint8_t kPurgeServerTransmit = 2;  // what we sent, not yet on the line

// A line at 38400 baud brings less than 4 KiB a second: more than this between two reads is
// not a serial line's traffic.
inline constexpr size_t kMaxQueuedData = 1024 * 1024;

class TelnetSession {
  public:
    enum class ComPort { kPending, kAccepted, kRefused };

    // The answers of the server to one request, counted, and the value of the latest.
    struct Answer {
        uint32_t count = 0;
        std::vector<uint8_t> value;
    };

    TelnetSession();
    ~TelnetSession();
    TelnetSession(const TelnetSession&) = delete;
    TelnetSession& operator=(const TelnetSession&) = delete;

    // Asks for the COM-PORT option and binary transmission both ways.
    void Start();
    void Receive(const uint8_t* bytes, size_t count);
    void SendData(const uint8_t* bytes, size_t count);
    void SendRequest(ComPortCommand command, const uint8_t* value, size_t count);

    // Bytes for the server, in order; the caller takes them out.
    std::vector<uint8_t>& Output() { return output_; }
    // Serial data the server sent; the caller takes it out from the front.
    std::vector<uint8_t>& Data() { return data_; }

    ComPort ComPortState() const { return comPort_; }
    const Answer& AnswerTo(ComPortCommand command) const {
        return answers_[static_cast<uint8_t>(command)];
    }
    // A byte stream that is no serial line's: one that libtelnet cannot follow or warns of,
    // a switch to compression nobody asked for, or more data than a line brings. What it
    // held is dropped, and nothing more of it arrives as data.
    bool Broken() const { return broken_; }

  private:
    static void OnEvent(telnet_t* telnet, telnet_event_t* event, void* self);
    void Handle(const telnet_event_t& event);
    void OnComPort(const uint8_t* bytes, size_t count);
    void WatchForRefusal(const uint8_t* bytes, size_t count);
    void Break();

    struct Free {
        void operator()(telnet_t* telnet) const;
    };
    std::unique_ptr<telnet_t, Free> telnet_;
    std::vector<uint8_t> output_;
    std::vector<uint8_t> data_;
    ComPort comPort_ = ComPort::kPending;
    Answer answers_[256 - 100];
    bool broken_ = false;
    // Where WatchForRefusal stands in the command syntax.
    enum class Scan { kData, kCommand, kOption, kRefusal, kSub, kSubCommand };
    Scan scan_ = Scan::kData;
};

}  // namespace platform
