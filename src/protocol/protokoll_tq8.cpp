// Connection, line-rate switch, waiting and the primitives every command is built of.

#include "protocol/protokoll_tq8.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "support/frontend.h"
#include "support/trace.h"
#include "support/utils.h"

namespace {

uint32_t (*gClock)() = GetTimeMs;

// A wait whose port fails (a device that vanished) rests this long between looks, so
// it keeps the user interface alive without spinning.
constexpr uint32_t kFailedWaitRestMs = 10;

}  // namespace

void SetProtocolClock(uint32_t (*clock)()) {
    gClock = clock != nullptr ? clock : GetTimeMs;
}

ProtokollTQ8::ProtokollTQ8(WindowHandle hWnd, int port) {
    TraceProtokoll(4, "{cb}ProtokollTQ8 (%d)", port);
    if (port <= 0) {
        fProtokollAktiv = 0;
    } else {
        OpenPort(hWnd, port, 9600);
    }
    TraceProtokoll(4, "{cg}*ProtokollTQ8 (%d); fProtokollAktiv = %d", port, fProtokollAktiv);
}

ProtokollTQ8::~ProtokollTQ8() {
    pComm.reset();
}

int ProtokollTQ8::OpenPort(WindowHandle hWnd, int port, uint32_t baudRate) {
    auto comm =
        std::make_unique<RS232>(hWnd, "Kovra TQ8/ZEL 5000", port, baudRate, 8, 0, 'N', 4096, 512);
    if (comm->fOpen == 0) {
        comm.reset();
        pComm.reset();
        fProtokollAktiv = 0;
    } else {
        pComm = std::move(comm);
        fProtokollAktiv = 1;
    }
    fRequestRefused = false;
    return fProtokollAktiv;
}

int ProtokollTQ8::SetBaudRate(WindowHandle hWnd, int port, uint32_t baudRate) {
    TraceProtokoll(4, "{cc}SetBaudRate (COM%d, %d)", port, static_cast<int>(baudRate));
    if (pComm) {
        if (InitCommand(kCmdSetBaudRate) != 1) {
            return 0;
        }
        SendDWord(baudRate);
        if (WaitForAck() == 0) {
            return 0;
        }
        // The machine has answered at the old rate and now listens at the new one.
        pComm.reset();
        platform::SleepMs(kLinePauseMs);
    }
    return OpenPort(hWnd, port, baudRate);
}

int ProtokollTQ8::WaitForData(uint32_t count, uint32_t ms) {
    if (!pComm) {
        return 0;
    }
    if (fRequestRefused) {
        fRequestRefused = false;
        return 0;
    }
    // The messages dispatched below may reach any command of the program; none of them
    // may take this connection away while the wait is on the stack.
    const ConnectionPin pin(*this);
    // Modular differences of clock readings: a limit that spans the clock's wrap at
    // 2^32 still lasts its full time.
    const uint32_t start = gClock();
    // The wait itself ends for a message that comes, and for one already pending where the
    // front end's wait can see it (the Win32 queue, a POSIX wake descriptor). Only what
    // was there before the first pass, or what a pump left at its limit, needs a look of
    // its own: on the Win32 program each look is a round trip to the window system.
    bool pending = FrontEndMessagesPending();
    for (;;) {
        const uint32_t elapsed = ElapsedMs(start, gClock());
        if (elapsed >= ms) {
            break;
        }
        const uint32_t remaining = ms - elapsed;
        if (!pending) {
            // Port data, a user-interface message or the end of the time limit.
            if (pComm->WaitInQueue(count, remaining) == platform::SerialWaitResult::Failed) {
                platform::SleepMs(std::min(remaining, kFailedWaitRestMs));
            }
        }
        pending = PumpMessages(1);  // at most two messages per pass
        if (!pComm) {
            break;  // a message handler switched the line away
        }
        if (pComm->GetInQueue() >= count) {
            TraceProtokoll(5, "{cc}WaitForData: received all");
            return 1;
        }
    }
    TraceProtokoll(2, "{cr}WaitForData: TimeOut");
    return 0;
}

int ProtokollTQ8::InitCommand(uint16_t code) {
    if (!pComm) {
        return 0;
    }
    const uint8_t frame[3] = {kCommandIntro, static_cast<uint8_t>(code >> 8),
                              static_cast<uint8_t>(code & 0xFF)};
    Send(frame, sizeof frame);
    if (WaitForData(1, kAnswerTimeMs) == 0) {
        return -1;
    }
    uint8_t answer = 0;
    if (pComm->GetByte(answer) != 1) {
        return 0;
    }
    if (answer == kNak) {
        TraceProtokoll(2, "{cr}InitCommand (%d): command rejected", code);
    }
    return answer == kAck ? 1 : 0;
}

int ProtokollTQ8::WaitForAck() {
    if (!pComm || WaitForData(1, kAnswerTimeMs) == 0) {
        return 0;
    }
    uint8_t answer = 0;
    return pComm->GetByte(answer) == 1 && answer == kAck ? 1 : 0;
}

void ProtokollTQ8::SendByte(int byte) {
    if (pComm) {
        const uint8_t b = static_cast<uint8_t>(byte & 0xFF);
        Send(&b, 1);
    }
}

void ProtokollTQ8::SendWord(uint16_t word) {
    if (pComm) {
        const uint8_t b[2] = {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
        Send(b, sizeof b);
    }
}

void ProtokollTQ8::SendDWord(uint32_t dword) {
    if (pComm) {
        const uint8_t b[4] = {static_cast<uint8_t>(dword >> 24), static_cast<uint8_t>(dword >> 16),
                              static_cast<uint8_t>(dword >> 8), static_cast<uint8_t>(dword)};
        Send(b, sizeof b);
    }
}

void ProtokollTQ8::Send(const void* bytes, uint32_t count) {
    if (!fRequestRefused && pComm->PutBlock(bytes, count) == 0 && pComm->WriteRefused()) {
        fRequestRefused = true;
    }
}

int ProtokollTQ8::SendData(const void* data, uint32_t count) {
    if (!pComm) {
        return 0;
    }
    const auto sent = std::chrono::steady_clock::now();
    Send(data, count);
    const int acknowledged = WaitForAck();
    if (acknowledged != 0 && pComm) {
        const auto took = std::chrono::steady_clock::now() - sent;
        answerTiming.RecordBlock(
            pComm->dcb.BaudRate,
            static_cast<uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
    }
    return acknowledged;
}

int ProtokollTQ8::ReceiveByte(uint8_t& byte, uint32_t ms) {
    if (!pComm || WaitForData(1, ms) == 0) {
        return 0;
    }
    return pComm->GetByte(byte) == 1 ? 1 : 0;
}

bool ProtokollTQ8::ReadExactly(uint8_t* buffer, uint32_t count) {
    return pComm && pComm->ReadComm(pComm->hComm, buffer, count) == count;
}

int ProtokollTQ8::ReceiveWord(uint16_t& word, uint32_t ms) {
    if (!pComm || WaitForData(2, ms) == 0) {
        return 0;
    }
    uint8_t b[2];
    if (!ReadExactly(b, sizeof b)) {
        return 0;
    }
    word = static_cast<uint16_t>(b[0] << 8 | b[1]);
    return 1;
}

uint32_t ProtokollTQ8::ReceiveDWord() {
    if (!pComm) {
        return 0xFFFFFFFF;
    }
    uint8_t b[4] = {0, 0, 0, 0};
    pComm->ReadComm(pComm->hComm, b, sizeof b);
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}
