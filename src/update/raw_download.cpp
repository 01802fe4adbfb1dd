#include "update/raw_download.h"

#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/interrupt.h"
#include "platform/network_port.h"
#include "platform/serial.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/utils.h"
#include "text_ids.h"

namespace {

constexpr uint32_t kProgressUnit = 1024;

// The progress window for the length of one download, destroyed on every path.
class ProgressWindow {
  public:
    ProgressWindow(WindowHandle owner, const char* caption)
        : handle_(FrontEndProgressOpen(owner, caption)) {}
    ~ProgressWindow() { FrontEndProgressClose(handle_); }
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void Text(unsigned id) { FrontEndProgressText(handle_, LoadText(id)); }
    void Range(uint32_t maximum) { FrontEndProgressRange(handle_, maximum); }
    void Position(uint32_t position) { FrontEndProgressPosition(handle_, position); }
    void Done() { FrontEndProgressDone(handle_); }

  private:
    WindowHandle handle_;
};

// Answers that come late cost every block of the download as much again. Said once, early in
// the download: nothing waits on the operator from here, and the download's own blocks
// are the only exchanges at its rate.
void WarnOfLateAnswers(ProtokollTQ8& connection) {
    AnswerVerdict verdict;
    if (!connection.answerTiming.TakeVerdict(verdict)) {
        return;
    }
    TraceProtokoll(4, "{cc}Answers late by %u us: download %.0f %% longer",
                   static_cast<unsigned>(verdict.latenessUs), verdict.slowdown * 100.0);
    if (verdict.slowdown <= kSlowdownWarned) {
        return;
    }
    // What holds the answers back: a network port's server, or the local adapter.
    const std::string device = platform::SerialDevicePath("COM" + std::to_string(nInterface));
    const unsigned advice =
        platform::IsNetworkPortName(device) ? kTextLateAnswersNetwork : kTextLateAnswersAdapter;
    char text[kLoadTextSize + 1];
    std::snprintf(text, sizeof text, LoadText(advice),
                  static_cast<double>(verdict.latenessUs) / 1000.0, verdict.slowdown * 100.0);
    TraceProtokoll(3, "{cy}%s", text);
    FrontEndNotice(text);
}

// The machine still waits for blocks. Leaving the line quiet for as long as an
// unacknowledged block takes gives it the very silence after which the failure path's
// commands reach it as commands, not as block data.
void KeepLineQuiet() {
    const uint32_t since = GetTimeMs();
    while (ElapsedMs(since, GetTimeMs()) < kAnswerTimeMs) {
        PumpMessages(2);
        platform::SleepMs(1);
    }
}

}  // namespace

int RawDownload(WindowHandle owner, const uint8_t* data, uint32_t start, uint32_t size,
                const char* caption, DownloadResult* result) {
    DownloadResult local;
    DownloadResult& out = result != nullptr ? *result : local;
    out = DownloadResult{};
    TraceProtokoll(4, "{cb}RawDownload (Start: 0x%08x; Size = 0x%08x)", start, size);
    const uint32_t t0 = GetTimeMs();
    ProgressWindow progress(owner, caption);
    progress.Range(size / kProgressUnit);
    progress.Text(kTextErasing);
    progress.Position(0);

    out.failure = DownloadResult::Failure::Start;
    ProtokollTQ8* connection = pProtokoll.get();
    if (connection == nullptr || data == nullptr || size == 0) {
        return 0;
    }
    // The blocks go out between dispatched messages: none may take the line meanwhile.
    const ConnectionPin pin(*connection);
    if (connection->StartDownload(start, start + size - 1) == 0) {
        return 0;
    }
    progress.Text(kTextDownloading);

    uint8_t xorValue = 0;
    uint32_t sum = 0;
    // Whole blocks only: the caller's image is a multiple of 32 bytes.
    for (uint32_t offset = 0; offset + kDownloadBlockSize <= size; offset += kDownloadBlockSize) {
        const uint8_t* block = data + offset;
        for (uint32_t i = 0; i < kDownloadBlockSize; ++i) {
            xorValue ^= block[i];
            sum += block[i];
        }
        HexDumpProtokoll(5, block, kDownloadBlockSize, "{cc}DL: ", start + offset);
        progress.Position(offset / kProgressUnit);
        out.block = offset / kDownloadBlockSize;
        if (platform::StopRequested()) {
            TraceProtokoll(2, "{cr}*RawDownload: stopped by the operator");
            out.failure = DownloadResult::Failure::Stopped;
            KeepLineQuiet();
            return 0;
        }
        if (connection->SendData(block, kDownloadBlockSize) == 0) {
            TraceProtokoll(2, "{cr}*RawDownload: Send data failed!");
            out.failure = DownloadResult::Failure::Block;
            return 0;
        }
        WarnOfLateAnswers(*connection);
        platform::YieldTimeSlice();
        PumpMessages(1);
    }

    connection->SendByte(xorValue);
    connection->SendDWord(sum);
    out.trailerSum = sum;
    const int acknowledged = connection->WaitForAck();
    if (acknowledged != 0) {
        progress.Done();
        TraceProtokoll(4, "{cg}*RawDownload; %d ms", static_cast<int>(ElapsedMs(t0, GetTimeMs())));
        out.failure = DownloadResult::Failure::None;
    } else {
        TraceProtokoll(2, "{cr}*RawDownload");
        out.failure = DownloadResult::Failure::Trailer;
    }
    return acknowledged != 0 ? 1 : 0;
}
