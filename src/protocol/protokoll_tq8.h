#pragma once
// The host side of the machine's bootloader protocol: strict request and answer, each
// command framed by 0x11 and a 16-bit code, ACK 0x06, NAK 0x15, big-endian numbers.

#include <cstdint>
#include <memory>

#include "platform/types.h"
#include "protocol/answer_timing.h"
#include "serial/rs232.h"

inline constexpr uint8_t kCommandIntro = 0x11;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kDeviceTypeQuery = 0x14;
inline constexpr uint32_t kGuardCode = 0x5D2E91C4;

// Command codes of the bootloader, sent after kCommandIntro as a big-endian word.
inline constexpr uint16_t kCmdInitEEPROM = 3;            // reset the machine's EEPROM
inline constexpr uint16_t kCmdReadVariable = 4;          // id -> kennung and value
inline constexpr uint16_t kCmdWriteVariable = 5;         // id and value, ids 0 to 999 only
inline constexpr uint16_t kCmdSetApplicationActive = 6;  // state and guard code
inline constexpr uint16_t kCmdStartDownload = 7;         // guard, first and last address; erases
inline constexpr uint16_t kCmdGetApplicationActive = 8;  // -> one state byte
inline constexpr uint16_t kCmdSetBaudRate = 9;           // new rate as a 32-bit number
inline constexpr uint16_t kCmdGetCheckSum = 10;          // area -> four 32-bit values

// The kennung of a variable answer that carries a valid value.
inline constexpr int kKennungValid = 2;
// The machine's answer to the device-type query that GetDeviceType reports as type 2.
inline constexpr uint16_t kDeviceTypeAnswer = 1;
inline constexpr int kDeviceTypeKnown = 2;

inline constexpr uint32_t kAnswerTimeMs = 1200;
inline constexpr uint32_t kEraseTimeMs = 10000;
inline constexpr uint32_t kDeviceTypeTimeMs = 100;
inline constexpr uint32_t kLinePauseMs = 500;

// GetDeviceType's result when nothing answers the query.
inline constexpr int kDeviceTypeNoAnswer = 0x8001;
// GetApplicationActive's result when no valid answer came.
inline constexpr int kApplicationInvalid = -1;

class ProtokollTQ8 {
  public:
    // Opens COM<port> at 9600 baud; a port number of 0 or less opens nothing.
    ProtokollTQ8(WindowHandle hWnd, int port);
    ~ProtokollTQ8();
    ProtokollTQ8(const ProtokollTQ8&) = delete;
    ProtokollTQ8& operator=(const ProtokollTQ8&) = delete;

    int SetBaudRate(WindowHandle hWnd, int port, uint32_t baudRate);
    int WaitForData(uint32_t count, uint32_t ms);
    int InitCommand(uint16_t code);
    int WaitForAck();
    void SendByte(int byte);
    void SendWord(uint16_t word);
    void SendDWord(uint32_t dword);
    int SendData(const void* data, uint32_t count);
    int ReceiveByte(uint8_t& byte, uint32_t ms);
    int ReceiveWord(uint16_t& word, uint32_t ms);
    // The next four queued bytes; 0xFFFFFFFF (-1) with no port. Bytes missing from the
    // queue count as 0.
    uint32_t ReceiveDWord();

    int ReadVariable(int id, int16_t& value);
    int WriteVariable(int id, int16_t value);
    int GetApplicationActive();
    int SetApplicationActive(uint16_t state);
    int StartDownload(uint32_t startAddress, uint32_t endAddress);
    int GetCheckSum(uint16_t area, uint32_t& dwStartAddress, uint32_t& dwEndAddress,
                    uint32_t& dwCheckSumSaved, uint32_t& dwCheckSumCalculated);
    int InitEEPROM();
    int GetDeviceType();

    std::unique_ptr<RS232> pComm;
    int32_t fProtokollAktiv = 0;
    // The download blocks' acknowledgements, timed.
    AnswerTiming answerTiming;

    // Whether an operation on this connection is under way further up the stack. Its
    // waits dispatch window messages, and no message handler may destroy or replace the
    // connection meanwhile (see ConnectionPin).
    bool Pinned() const { return pins_ > 0; }

  private:
    friend class ConnectionPin;
    int pins_ = 0;

    // Creates the port at the rate and records whether it opened.
    int OpenPort(WindowHandle hWnd, int port, uint32_t baudRate);
    // Reads exactly count queued bytes; false when fewer came.
    bool ReadExactly(uint8_t* buffer, uint32_t count);
    // Hands bytes of the request to the port, unless the driver refused some before.
    void Send(const void* bytes, uint32_t count);

    // The driver refused bytes of the request being sent. No answer can come to it, so
    // the wait for one ends at once and clears this; the refusal is traced with its cause
    // where it happened, and a time-out would name the wrong one.
    bool fRequestRefused = false;
};

// Holds a connection in place for a scope: every wait pins its own, and a caller that
// keeps using one connection across waits and message boxes pins it for the whole run.
// Pins nest.
class ConnectionPin {
  public:
    explicit ConnectionPin(ProtokollTQ8& connection) : connection_(connection) {
        ++connection_.pins_;
    }
    ~ConnectionPin() { --connection_.pins_; }
    ConnectionPin(const ConnectionPin&) = delete;
    ConnectionPin& operator=(const ConnectionPin&) = delete;

  private:
    ProtokollTQ8& connection_;
};

// The millisecond clock the waits read; tests put one of their own here (nullptr puts
// GetTimeMs back).
void SetProtocolClock(uint32_t (*clock)());
