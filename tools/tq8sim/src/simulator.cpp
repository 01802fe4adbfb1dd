#include "tq8sim/simulator.h"

#include <strings.h>
#include <sys/prctl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "commands.h"
#include "faults.h"
#include "flash_memory.h"
#include "line.h"
#include "machine_state.h"
#include "transcript.h"

namespace tq8sim {
namespace {

uint16_t Word(const uint8_t* bytes) {
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

uint32_t DWord(const uint8_t* bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

void PutDWord(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (const uint8_t byte : bytes) {
        text += Format(text.empty() ? "%02x" : " %02x", byte);
    }
    return text;
}

// How long after its last ACK an injected vanishing takes the device away.
constexpr uint64_t kVanishDelayMs = 100;

}  // namespace

struct Simulator::Impl {
    explicit Impl(Options o)
        : options(std::move(o)),
          state(options.stateFile),
          transcript(options.transcriptFile, options.transcriptToStderr) {
        line.SetPace(options.pace);
        line.SetNoteSink([this](const std::string& note) { transcript.Add(note); });
    }

    // --- the serving thread -------------------------------------------------------------
    void Run();
    void HandleFrame();
    void HandleDeviceType();
    // The handlers of the command table, each given the request that followed its frame.
    void InitEEPROM(const uint8_t* request);
    void ReadVariable(const uint8_t* request);
    void WriteVariable(const uint8_t* request);
    void SetApplicationActive(const uint8_t* request);
    void StartDownload(const uint8_t* request);
    void GetApplicationActive(const uint8_t* request);
    void SetBaudRate(const uint8_t* request);
    void GetCheckSum(const uint8_t* request);
    void GetDeviceType(const uint8_t* request);
    void Download(uint32_t start, uint32_t end, const DownloadFaults& planned);
    // Reads the rest of a request; false (after a TIMEOUT line) when it did not come whole.
    bool ReadRequest(uint16_t code, uint8_t* out, size_t count);
    void Answer(std::vector<uint8_t> bytes);
    int GapMs() const { return static_cast<int>(options.downloadGapMs); }
    template <typename Change>
    void ChangeFaults(Change change) {
        std::lock_guard lock(mutex);
        change(faults);
    }

    Options options;
    Line line;
    std::string devicePath;
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> vanished{false};

    mutable std::mutex mutex;  // guards state, memory and faults
    MachineState state;
    FlashMemory memory;
    Faults faults;
    tq8sim::Transcript transcript;
};

namespace {

using Impl = Simulator::Impl;

constexpr std::array<CommandSpec, 9> kCommands{{
    {3, "InitEEPROM", true, 0, &Impl::InitEEPROM},
    {4, "ReadVariable", true, 2, &Impl::ReadVariable},
    {5, "WriteVariable", true, 4, &Impl::WriteVariable},
    {6, "SetApplicationActive", true, 6, &Impl::SetApplicationActive},
    {7, "StartDownload", true, 12, &Impl::StartDownload},
    {8, "GetApplicationActive", true, 0, &Impl::GetApplicationActive},
    {9, "SetBaudRate", true, 4, &Impl::SetBaudRate},
    {10, "GetCheckSum", true, 2, &Impl::GetCheckSum},
    {kDeviceTypeCommand, "GetDeviceType", false, 0, &Impl::GetDeviceType},
}};

static_assert(std::all_of(kCommands.begin(), kCommands.end(),
                          [](const CommandSpec& c) { return c.requestSize <= kLongestRequest; }));

}  // namespace

const CommandSpec* FindCommand(uint16_t code) {
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [code](const CommandSpec& c) { return c.code == code; });
    return found == kCommands.end() ? nullptr : &*found;
}

const CommandSpec* FindCommand(std::string_view name) {
    const auto found = std::find_if(kCommands.begin(), kCommands.end(), [name](const auto& c) {
        return name.size() == std::char_traits<char>::length(c.name) &&
               strncasecmp(c.name, name.data(), name.size()) == 0;
    });
    return found == kCommands.end() ? nullptr : &*found;
}

void Simulator::Impl::Run() {
    // Pacing sleeps in fractions of a millisecond; the default slack would stretch them.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
        uint8_t byte = 0;
        size_t got = 0;
        if (line.Read(&byte, 1, -1, &got) != Line::Status::kOk) {
            break;
        }
        if (byte == kCommandIntro) {
            HandleFrame();
        } else if (byte == kDeviceTypeByte) {
            HandleDeviceType();
        } else {
            // Noise outside a frame (or a garbled line) is dropped; the host will time out.
            transcript.Add(Format("STRAY 0x%02x", byte));
        }
        if (vanished) {
            break;
        }
    }
    running = false;
}

void Simulator::Impl::Answer(std::vector<uint8_t> bytes) {
    std::vector<uint8_t> stray;
    {
        std::lock_guard lock(mutex);
        stray = faults.TakeStray();
    }
    if (!stray.empty()) {
        transcript.Add("SENT-STRAY " + HexBytes(stray));
        line.Write(stray);
    }
    line.Write(bytes);
}

bool Simulator::Impl::ReadRequest(uint16_t code, uint8_t* out, size_t count) {
    size_t got = 0;
    const Line::Status status = line.Read(out, count, GapMs(), &got);
    if (status == Line::Status::kOk) {
        return true;
    }
    if (status == Line::Status::kTimeout) {
        transcript.Add(Format("TIMEOUT cmd=%u got=%zu", code, got));
    }
    return false;
}

void Simulator::Impl::HandleFrame() {
    uint8_t codeBytes[2];
    size_t got = 0;
    const Line::Status status = line.Read(codeBytes, 2, GapMs(), &got);
    if (status != Line::Status::kOk) {
        if (status == Line::Status::kTimeout) {
            transcript.Add(Format("TIMEOUT frame got=%zu", got));
        }
        return;
    }
    const uint16_t code = Word(codeBytes);
    std::optional<CommandFault> fault;
    {
        std::lock_guard lock(mutex);
        fault = faults.TakeCommand(code);
    }
    if (fault) {
        switch (fault->kind) {
            case CommandFault::Kind::kSilence:
                transcript.Add(Format("SILENT cmd=%u", code));
                return;
            case CommandFault::Kind::kNak:
                Answer({kNak});
                transcript.Add(Format("NAK cmd=%u", code));
                return;
            case CommandFault::Kind::kWrongByte:
                Answer({fault->byte});
                transcript.Add(Format("WRONG cmd=%u byte=0x%02x", code, fault->byte));
                return;
        }
    }
    const CommandSpec* command = FindCommand(code);
    if (command == nullptr || !command->framed) {
        Answer({kNak});
        transcript.Add(Format("NAK cmd=%u", code));
        return;
    }
    Answer({kAck});
    uint8_t request[kLongestRequest] = {};
    if (ReadRequest(code, request, command->requestSize)) {
        (this->*command->handler)(request);
    }
}

void Simulator::Impl::HandleDeviceType() {
    std::optional<CommandFault> fault;
    {
        std::lock_guard lock(mutex);
        fault = faults.TakeCommand(kDeviceTypeCommand);
    }
    if (fault && fault->kind == CommandFault::Kind::kSilence) {
        transcript.Add("DEVTYPE -> SILENT");
        return;
    }
    if (fault) {
        const uint8_t byte = fault->kind == CommandFault::Kind::kNak ? kNak : fault->byte;
        Answer({byte});
        transcript.Add(Format("DEVTYPE -> BYTE 0x%02x", byte));
        return;
    }
    const CommandSpec* command = FindCommand(kDeviceTypeCommand);
    (this->*command->handler)(nullptr);
}

void Simulator::Impl::GetDeviceType(const uint8_t*) {
    Answer({kAck, 0x00, 0x01});
    transcript.Add("DEVTYPE -> ACK type=0x0001");
}

void Simulator::Impl::InitEEPROM(const uint8_t*) {
    // Nothing in this machine needs initialising: the variables live on.
    transcript.Add("CMD 3 InitEEPROM -> ACK");
}

void Simulator::Impl::ReadVariable(const uint8_t* request) {
    const uint16_t id = Word(request);
    uint16_t kennung;
    uint16_t value;
    {
        std::lock_guard lock(mutex);
        const std::optional<int16_t> known = state.Variable(id);
        kennung = faults.Kennung(id).value_or(known ? 2 : 3);
        value = static_cast<uint16_t>(known.value_or(0));
    }
    Answer({static_cast<uint8_t>(kennung >> 8), static_cast<uint8_t>(kennung),
            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
    transcript.Add(Format("CMD 4 ReadVariable id=%u -> ACK kennung=%u value=%d", id, kennung,
                          static_cast<int16_t>(value)));
}

void Simulator::Impl::WriteVariable(const uint8_t* request) {
    const uint16_t id = Word(request);
    const auto value = static_cast<int16_t>(Word(request + 2));
    bool accepted = MachineState::Writable(id);
    if (accepted) {
        std::lock_guard lock(mutex);
        state.SetVariable(id, value);
    }
    Answer({accepted ? kAck : kNak});
    transcript.Add(
        Format("CMD 5 WriteVariable id=%u value=%d -> %s", id, value, accepted ? "ACK" : "NAK"));
}

void Simulator::Impl::SetApplicationActive(const uint8_t* request) {
    const uint16_t newState = Word(request);
    const uint32_t guard = DWord(request + 2);
    const bool accepted = guard == kGuardCode && newState <= 0xFF;
    if (accepted) {
        std::lock_guard lock(mutex);
        state.SetApplicationState(static_cast<uint8_t>(newState));
    }
    Answer({accepted ? kAck : kNak});
    transcript.Add(Format("CMD 6 SetApplicationActive state=%u guard=0x%08x -> %s", newState, guard,
                          accepted ? "ACK" : "NAK"));
}

void Simulator::Impl::GetApplicationActive(const uint8_t*) {
    uint8_t current;
    {
        std::lock_guard lock(mutex);
        current = state.ApplicationState();
    }
    Answer({current});
    transcript.Add(Format("CMD 8 GetApplicationActive -> state=%u", current));
}

void Simulator::Impl::StartDownload(const uint8_t* request) {
    const uint32_t guard = DWord(request);
    const uint32_t start = DWord(request + 4);
    const uint32_t end = DWord(request + 8);
    DownloadFaults planned;
    {
        std::lock_guard lock(mutex);
        planned = faults.TakeDownload();
    }
    if (planned.erase == DownloadFaults::Erase::kSilence) {
        // A machine hung before erasing: nothing changes, and what comes next is read as
        // commands again.
        transcript.Add(Format("DL start=0x%08x end=0x%08x -> SILENT", start, end));
        return;
    }
    const RangeVerdict verdict = FlashMemory::CheckDownloadRange(start, end);
    const bool refused = planned.erase == DownloadFaults::Erase::kNak;
    if (guard != kGuardCode || verdict != RangeVerdict::kOk || refused) {
        Answer({kNak});
        transcript.Add(Format("DL start=0x%08x end=0x%08x -> NAK reason=%s", start, end,
                              guard != kGuardCode            ? "guard"
                              : verdict != RangeVerdict::kOk ? RangeVerdictName(verdict)
                                                             : "injected"));
        return;
    }
    uint32_t eraseMs;
    {
        std::lock_guard lock(mutex);
        memory.Erase(start, end);
        const uint64_t kib = (static_cast<uint64_t>(end) - start + 1 + 1023) / 1024;
        eraseMs = static_cast<uint32_t>(kib * options.eraseMsPerKiB) + faults.SlowEraseMs() +
                  planned.slowEraseMs;
    }
    line.Busy(static_cast<uint64_t>(eraseMs) * 1000000ull);
    if (!line.WaitIdle()) {
        return;
    }
    if (line.InputPending()) {
        // The host has moved on while the machine was erasing (it waits 10 s at most);
        // a late ACK would be read as the answer to its next command.
        transcript.Add(
            Format("DL start=0x%08x end=0x%08x -> CANCELLED erase=%ums", start, end, eraseMs));
        return;
    }
    Answer({kAck});
    transcript.Add(Format("DL start=0x%08x end=0x%08x -> ACK erase=%ums", start, end, eraseMs));
    Download(start, end, planned);
}

void Simulator::Impl::Download(uint32_t start, uint32_t end, const DownloadFaults& planned) {
    const uint32_t blocks = static_cast<uint32_t>((static_cast<uint64_t>(end) - start + 1) / 32);
    uint8_t xorValue = 0;
    uint32_t sum = 0;
    for (uint32_t block = 0; block < blocks; ++block) {
        uint8_t data[32];
        size_t got = 0;
        const Line::Status status = line.Read(data, sizeof data, GapMs(), &got);
        if (status != Line::Status::kOk) {
            if (status == Line::Status::kTimeout) {
                transcript.Add(Format("DL ABORT blocks=%u got=%zu reason=gap", block, got));
            }
            return;
        }
        for (const uint8_t byte : data) {
            xorValue ^= byte;
            sum += byte;
        }
        const uint32_t address = start + block * 32;
        {
            std::lock_guard lock(mutex);
            memory.Program(address, data);
        }
        line.Busy(static_cast<uint64_t>(options.programUsPerBlock) * 1000ull);
        // A block the machine does not accept ends the download on its side as well: the
        // host sends nothing more of it, and what follows is read as commands again.
        if (planned.noAckBlock == block) {
            transcript.Add(Format("BLOCK %u addr=0x%08x -> NOACK", block, address));
            return;
        }
        if (planned.wrongByteBlock == block) {
            Answer({planned.wrongByte});
            transcript.Add(
                Format("BLOCK %u addr=0x%08x -> BYTE 0x%02x", block, address, planned.wrongByte));
            return;
        }
        Answer({kAck});
        transcript.Add(Format("BLOCK %u addr=0x%08x -> ACK", block, address));
        if (planned.vanishAfterBlock == block) {
            // Shortly after the ACK, so the host has read it before the line goes away.
            line.Busy(kVanishDelayMs * 1000000ull);
            line.WaitIdle();
            transcript.Add(Format("VANISH after block %u", block));
            vanished = true;
            line.Close();
            return;
        }
    }
    uint8_t trailer[5];
    size_t got = 0;
    const Line::Status status = line.Read(trailer, sizeof trailer, GapMs(), &got);
    if (status != Line::Status::kOk) {
        if (status == Line::Status::kTimeout) {
            transcript.Add(Format("DL ABORT blocks=%u got=%zu reason=gap", blocks, got));
        }
        return;
    }
    const uint8_t hostXor = trailer[0];
    const uint32_t hostSum = DWord(trailer + 1);
    const bool matches = hostXor == xorValue && hostSum == sum;
    if (matches && !planned.trailerNak) {
        {
            std::lock_guard lock(mutex);
            memory.RecordAccepted(start, end, sum);
        }
        Answer({kAck});
        transcript.Add(Format("TRAILER xor=0x%02x sum=0x%08x -> ACK", hostXor, hostSum));
        return;
    }
    Answer({kNak});
    transcript.Add(Format("TRAILER xor=0x%02x sum=0x%08x -> NAK expected xor=0x%02x sum=0x%08x",
                          hostXor, hostSum, xorValue, sum));
}

void Simulator::Impl::SetBaudRate(const uint8_t* request) {
    const uint32_t rate = DWord(request);
    bool refused;
    {
        std::lock_guard lock(mutex);
        refused = faults.RateRefusal();
    }
    if (refused || !IsSupportedRate(rate)) {
        Answer({kNak});
        transcript.Add(Format("RATE %u -> NAK", rate));
        return;
    }
    // Acknowledged at the old rate; with pacing the write returns once the ACK is out.
    Answer({kAck});
    line.SetMachineRate(rate);
    transcript.Add(Format("RATE %u -> ACK", rate));
}

void Simulator::Impl::GetCheckSum(const uint8_t* request) {
    const uint16_t area = Word(request);
    if (area >= kAreaCount) {
        // Any answer would be fewer than the 16 bytes the host waits for and linger in
        // its queue; silence lets it time out cleanly.
        transcript.Add(Format("CHECKSUM area=%u -> SILENT", area));
        return;
    }
    ChecksumReport report;
    {
        std::lock_guard lock(mutex);
        report = memory.Report(area);
        if (faults.ChecksumMismatch(area)) {
            report.calculated = report.saved + 1;
        }
    }
    std::vector<uint8_t> answer;
    PutDWord(answer, report.start);
    PutDWord(answer, report.end);
    PutDWord(answer, report.saved);
    PutDWord(answer, report.calculated);
    Answer(std::move(answer));
    transcript.Add(Format("CHECKSUM area=%u start=0x%08x end=0x%08x saved=0x%08x calc=0x%08x", area,
                          report.start, report.end, report.saved, report.calculated));
}

// --- the public face ----------------------------------------------------------------------

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() {
    Stop();
    impl_->line.Close();
}

bool Simulator::CreatePty() {
    Stop();
    std::string error;
    if (!impl_->line.OpenPty(impl_->options.rate, &impl_->devicePath, &error)) {
        std::fprintf(stderr, "tq8sim: %s\n", error.c_str());
        return false;
    }
    impl_->vanished = false;
    return true;
}

bool Simulator::ServeDevice(const std::string& path) {
    Stop();
    std::string error;
    if (!impl_->line.OpenDevice(path, impl_->options.rate, &error)) {
        std::fprintf(stderr, "tq8sim: %s\n", error.c_str());
        return false;
    }
    impl_->devicePath = path;
    impl_->vanished = false;
    return true;
}

const std::string& Simulator::DevicePath() const {
    return impl_->devicePath;
}

bool Simulator::Start() {
    if (impl_->running || !impl_->line.IsOpen()) {
        return impl_->running;
    }
    impl_->line.ResetStop();
    impl_->running = true;
    impl_->thread = std::thread([this] { impl_->Run(); });
    return true;
}

void Simulator::Stop() {
    if (impl_->thread.joinable()) {
        impl_->line.RequestStop();
        impl_->thread.join();
        impl_->line.ResetStop();
    }
    impl_->running = false;
}

bool Simulator::Serving() const {
    return impl_->running && !impl_->vanished;
}
bool Simulator::Vanished() const {
    return impl_->vanished;
}

void Simulator::InjectNak(uint16_t command, int count) {
    impl_->ChangeFaults([&](Faults& f) {
        f.SetCommand(command, {CommandFault::Kind::kNak, 0, count});
    });
}

void Simulator::InjectSilence(uint16_t command, int count) {
    impl_->ChangeFaults([&](Faults& f) {
        f.SetCommand(command, {CommandFault::Kind::kSilence, 0, count});
    });
}

void Simulator::InjectWrongByte(uint16_t command, uint8_t byte, int count) {
    impl_->ChangeFaults([&](Faults& f) {
        f.SetCommand(command, {CommandFault::Kind::kWrongByte, byte, count});
    });
}

void Simulator::InjectKennung(uint16_t variable, uint16_t kennung) {
    impl_->ChangeFaults([&](Faults& f) { f.SetKennung(variable, kennung); });
}

void Simulator::InjectBlockNoAck(uint32_t block, uint32_t download) {
    impl_->ChangeFaults([&](Faults& f) { f.PlanDownload(download).noAckBlock = block; });
}

void Simulator::InjectBlockWrongByte(uint32_t block, uint8_t byte, uint32_t download) {
    impl_->ChangeFaults([&](Faults& f) {
        DownloadFaults& plan = f.PlanDownload(download);
        plan.wrongByteBlock = block;
        plan.wrongByte = byte;
    });
}

void Simulator::InjectTrailerNak(uint32_t download) {
    impl_->ChangeFaults([&](Faults& f) { f.PlanDownload(download).trailerNak = true; });
}

void Simulator::InjectVanishAfterBlock(uint32_t block, uint32_t download) {
    impl_->ChangeFaults([&](Faults& f) { f.PlanDownload(download).vanishAfterBlock = block; });
}

void Simulator::InjectEraseNak(uint32_t download) {
    impl_->ChangeFaults(
        [&](Faults& f) { f.PlanDownload(download).erase = DownloadFaults::Erase::kNak; });
}

void Simulator::InjectEraseSilence(uint32_t download) {
    impl_->ChangeFaults(
        [&](Faults& f) { f.PlanDownload(download).erase = DownloadFaults::Erase::kSilence; });
}

void Simulator::InjectSlowErase(uint32_t ms) {
    impl_->ChangeFaults([&](Faults& f) { f.SetSlowErase(ms); });
}

void Simulator::InjectSlowErase(uint32_t ms, uint32_t download) {
    impl_->ChangeFaults([&](Faults& f) { f.PlanDownload(download).slowEraseMs = ms; });
}

void Simulator::InjectChecksumMismatch(int area) {
    impl_->ChangeFaults([&](Faults& f) { f.SetChecksumMismatch(area); });
}

void Simulator::InjectRateRefusal() {
    impl_->ChangeFaults([](Faults& f) { f.SetRateRefusal(); });
}

void Simulator::InjectStrayBytes(std::vector<uint8_t> bytes) {
    impl_->ChangeFaults([&](Faults& f) { f.AddStray(bytes); });
}

void Simulator::ClearFaults() {
    impl_->ChangeFaults([](Faults& f) { f.Clear(); });
}

uint32_t Simulator::DownloadsStarted() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->faults.DownloadsStarted();
}

int16_t Simulator::Variable(uint16_t id) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.Variable(id).value_or(-1);
}

void Simulator::SetVariable(uint16_t id, int16_t value) {
    std::lock_guard lock(impl_->mutex);
    impl_->state.SetVariable(id, value);
}

uint8_t Simulator::ApplicationState() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.ApplicationState();
}

void Simulator::SetApplicationState(uint8_t state) {
    std::lock_guard lock(impl_->mutex);
    impl_->state.SetApplicationState(state);
}

std::vector<uint8_t> Simulator::ReadMemory(uint32_t address, uint32_t size) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->memory.Read(address, size);
}

uint32_t Simulator::LineRate() const {
    return impl_->line.MachineRate();
}
uint32_t Simulator::HostLineRate() const {
    return impl_->line.HostRate();
}

std::vector<std::string> Simulator::Transcript() const {
    return impl_->transcript.Lines();
}
void Simulator::ClearTranscript() {
    impl_->transcript.Clear();
}

}  // namespace tq8sim
