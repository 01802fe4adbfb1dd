#include "platform/posix/telnet_session.h"

#include <libtelnet.h>

namespace platform {
namespace {

constexpr uint8_t kAnswerOffset = 100;

// What the client agrees to: binary data both ways, no go-ahead, the COM-PORT option as
// its own. Anything else the server offers or asks for is declined by libtelnet.
constexpr telnet_telopt_t kOptions[] = {
    {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {kTelnetComPortOption, TELNET_WILL, TELNET_DONT},
    {-1, 0, 0},
};

}  // namespace

void TelnetSession::Free::operator()(telnet_t* telnet) const {
    telnet_free(telnet);
}

TelnetSession::TelnetSession() : telnet_(telnet_init(kOptions, OnEvent, 0, this)) {
    broken_ = telnet_ == nullptr;
}

TelnetSession::~TelnetSession() = default;

void TelnetSession::Start() {
    if (broken_) {
        return;
    }
    telnet_negotiate(telnet_.get(), TELNET_WILL, kTelnetComPortOption);
    telnet_negotiate(telnet_.get(), TELNET_WILL, TELNET_TELOPT_BINARY);
    telnet_negotiate(telnet_.get(), TELNET_DO, TELNET_TELOPT_BINARY);
}

void TelnetSession::Receive(const uint8_t* bytes, size_t count) {
    if (!broken_ && count > 0) {
        telnet_recv(telnet_.get(), reinterpret_cast<const char*>(bytes), count);
        WatchForRefusal(bytes, count);
    }
}

// libtelnet takes a DONT or WONT for an option it asked for without telling: the option is
// off, no event comes. Until the server has answered, the commands are followed here, so
// that a refusal ends the wait at once.
void TelnetSession::WatchForRefusal(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count && comPort_ == ComPort::kPending && !broken_; ++i) {
        const uint8_t byte = bytes[i];
        switch (scan_) {
            case Scan::kData:
                scan_ = byte == TELNET_IAC ? Scan::kCommand : Scan::kData;
                break;
            case Scan::kCommand:
                scan_ = byte == TELNET_SB                            ? Scan::kSub
                        : byte == TELNET_DONT || byte == TELNET_WONT ? Scan::kRefusal
                        : byte == TELNET_DO || byte == TELNET_WILL   ? Scan::kOption
                                                                     : Scan::kData;
                break;
            case Scan::kRefusal:
                if (byte == kTelnetComPortOption) {
                    comPort_ = ComPort::kRefused;
                }
                scan_ = Scan::kData;
                break;
            case Scan::kOption:
                scan_ = Scan::kData;
                break;
            case Scan::kSub:
                scan_ = byte == TELNET_IAC ? Scan::kSubCommand : Scan::kSub;
                break;
            case Scan::kSubCommand:
                scan_ = byte == TELNET_SE ? Scan::kData : Scan::kSub;
                break;
        }
    }
}

void TelnetSession::Break() {
    broken_ = true;
    data_.clear();
    data_.shrink_to_fit();
}

void TelnetSession::SendData(const uint8_t* bytes, size_t count) {
    if (!broken_ && count > 0) {
        telnet_send(telnet_.get(), reinterpret_cast<const char*>(bytes), count);
    }
}

void TelnetSession::SendRequest(ComPortCommand command, const uint8_t* value, size_t count) {
    if (broken_) {
        return;
    }
    std::vector<char> body;
    body.reserve(count + 1);
    body.push_back(static_cast<char>(command));
    body.insert(body.end(), value, value + count);
    telnet_subnegotiation(telnet_.get(), kTelnetComPortOption, body.data(), body.size());
}

void TelnetSession::OnEvent(telnet_t*, telnet_event_t* event, void* self) {
    static_cast<TelnetSession*>(self)->Handle(*event);
}

void TelnetSession::Handle(const telnet_event_t& event) {
    if (broken_) {
        return;  // what libtelnet still makes of the rest of a broken stream
    }
    switch (event.type) {
        case TELNET_EV_DATA: {
            if (event.data.size > kMaxQueuedData - data_.size()) {
                Break();
                break;
            }
            const auto* bytes = reinterpret_cast<const uint8_t*>(event.data.buffer);
            data_.insert(data_.end(), bytes, bytes + event.data.size);
            break;
        }
        case TELNET_EV_SEND: {
            const auto* bytes = reinterpret_cast<const uint8_t*>(event.data.buffer);
            output_.insert(output_.end(), bytes, bytes + event.data.size);
            break;
        }
        case TELNET_EV_DO:
            if (event.neg.telopt == kTelnetComPortOption) {
                comPort_ = ComPort::kAccepted;
            }
            break;
        case TELNET_EV_DONT:
            if (event.neg.telopt == kTelnetComPortOption) {
                comPort_ = ComPort::kRefused;
            }
            break;
        case TELNET_EV_SUBNEGOTIATION:
            if (event.sub.telopt == kTelnetComPortOption) {
                OnComPort(reinterpret_cast<const uint8_t*>(event.sub.buffer), event.sub.size);
            }
            break;
        // A warning leaves libtelnet guessing where the data goes on: what it then passes
        // on may be the stream's commands. Compressed, a server's few bytes become a
        // thousand times as many.
        case TELNET_EV_WARNING:
        case TELNET_EV_ERROR:
        case TELNET_EV_COMPRESS:
            Break();
            break;
        default:
            break;
    }
}

void TelnetSession::OnComPort(const uint8_t* bytes, size_t count) {
    if (count == 0 || bytes[0] < kAnswerOffset) {
        return;  // a request of the server's own (a signature query): nothing we need
    }
    const uint8_t code = bytes[0] - kAnswerOffset;
    if (code == static_cast<uint8_t>(ComPortCommand::kPurgeData) && count == 2 &&
        (bytes[1] & kPurgeServerReceive) != 0) {
        // What came before the answer was received before the purge took effect.
        data_.clear();
    }
    Answer& answer = answers_[code];
    ++answer.count;
    answer.value.assign(bytes + 1, bytes + count);
}

}  // namespace platform
