// The bootloader's commands, each opened by InitCommand.

#include "platform/clock.h"
#include "protocol/protokoll_tq8.h"
#include "support/trace.h"

int ProtokollTQ8::ReadVariable(int id, int16_t& value) {
    TraceProtokoll(4, "{cb}ReadVariable (%d)", id);
    if (InitCommand(kCmdReadVariable) != 1) {
        return 0;
    }
    SendWord(static_cast<uint16_t>(id));
    if (WaitForData(4, kAnswerTimeMs) == 0) {
        return 0;
    }
    uint8_t answer[4];
    if (!ReadExactly(answer, sizeof answer)) {
        return 0;
    }
    const int kennung = answer[0] << 8 | answer[1];
    if (kennung != kKennungValid) {
        TraceProtokoll(4, "{cy}*Variable %d = no valid data", id);
        return 0;
    }
    value = static_cast<int16_t>(answer[2] << 8 | answer[3]);
    TraceProtokoll(4, "{cg}*Variable %d = %d (kennung = %d)", id, value, kennung);
    return 1;
}

int ProtokollTQ8::WriteVariable(int id, int16_t value) {
    TraceProtokoll(4, "{cb}WriteVariable (%d, %d)", id, value);
    // Only ids 0 to 999 are writable; read as a signed word, the others are 1000 or
    // more, or negative.
    const auto word = static_cast<int16_t>(id);
    if (word < 0 || word >= 1000) {
        return 0;
    }
    if (InitCommand(kCmdWriteVariable) != 1) {
        return 0;
    }
    const auto v = static_cast<uint16_t>(value);
    const uint8_t request[4] = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id),
                                static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    Send(request, sizeof request);
    if (WaitForAck() == 0) {
        TraceProtokoll(2, "{cr}*WriteVariable (%d): FAILED", id);
        return 0;
    }
    TraceProtokoll(4, "{cg}*WriteVariable (%d)", id);
    return 1;
}

int ProtokollTQ8::GetApplicationActive() {
    if (InitCommand(kCmdGetApplicationActive) != 1) {
        return kApplicationInvalid;
    }
    uint8_t state = 0;
    if (ReceiveByte(state, kAnswerTimeMs) == 0) {
        return kApplicationInvalid;
    }
    return state;
}

int ProtokollTQ8::SetApplicationActive(uint16_t state) {
    if (InitCommand(kCmdSetApplicationActive) != 1) {
        return 0;
    }
    const uint8_t request[6] = {
        static_cast<uint8_t>(state >> 8),       static_cast<uint8_t>(state),
        static_cast<uint8_t>(kGuardCode >> 24), static_cast<uint8_t>(kGuardCode >> 16),
        static_cast<uint8_t>(kGuardCode >> 8),  static_cast<uint8_t>(kGuardCode)};
    Send(request, sizeof request);
    uint8_t answer = 0;
    if (ReceiveByte(answer, kAnswerTimeMs) == 0) {
        return 0;
    }
    // Whatever the answer, the machine may still be talking: let it finish, then drop
    // what it said.
    platform::SleepMs(kLinePauseMs);
    pComm->FlushComm(pComm->hComm, 1);
    return answer == kAck ? 1 : 0;
}

int ProtokollTQ8::StartDownload(uint32_t startAddress, uint32_t endAddress) {
    if (InitCommand(kCmdStartDownload) != 1) {
        return 0;
    }
    SendDWord(kGuardCode);
    SendDWord(startAddress);
    SendDWord(endAddress);
    uint8_t answer = 0;
    if (ReceiveByte(answer, kEraseTimeMs) == 0) {
        return 0;
    }
    return answer == kAck ? 1 : 0;
}

int ProtokollTQ8::GetCheckSum(uint16_t area, uint32_t& dwStartAddress, uint32_t& dwEndAddress,
                              uint32_t& dwCheckSumSaved, uint32_t& dwCheckSumCalculated) {
    TraceProtokoll(4, "GetCheckSum (%d)", area);
    if (InitCommand(kCmdGetCheckSum) != 1) {
        return 0;
    }
    SendWord(area);
    if (WaitForData(16, kAnswerTimeMs) == 0) {
        return 0;
    }
    const uint32_t start = ReceiveDWord();
    const uint32_t end = ReceiveDWord();
    const uint32_t saved = ReceiveDWord();
    const uint32_t calculated = ReceiveDWord();
    dwStartAddress = start;
    dwEndAddress = end;
    dwCheckSumSaved = saved;
    dwCheckSumCalculated = calculated;
    TraceProtokoll(4, "dwStartAddress        = 0x%08x", start);
    TraceProtokoll(4, "dwEndAddress          = 0x%08x", end);
    TraceProtokoll(4, "dwCheckSumSaved       = 0x%08x", saved);
    TraceProtokoll(4, "dwCheckSumCalculated  = 0x%08x", calculated);
    return 1;
}

int ProtokollTQ8::InitEEPROM() {
    TraceProtokoll(4, "{cb}InitEEPROM ()");
    if (InitCommand(kCmdInitEEPROM) != 1) {
        return 0;
    }
    TraceProtokoll(4, "{cg}*InitEEPROM ()");
    return 1;
}

int ProtokollTQ8::GetDeviceType() {
    TraceProtokoll(4, "{cc}GetDeviceType");
    if (!pComm) {
        return 0;
    }
    SendByte(kDeviceTypeQuery);
    if (WaitForData(1, kDeviceTypeTimeMs) == 0) {
        return kDeviceTypeNoAnswer;
    }
    if (WaitForAck() == 0) {
        return 0;
    }
    uint16_t type = 0;
    if (ReceiveWord(type, kAnswerTimeMs) == 0) {
        return 0;
    }
    return type == kDeviceTypeAnswer ? kDeviceTypeKnown : 0;
}
