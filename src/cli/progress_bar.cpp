#include "cli/progress_bar.h"

#include <cstdio>
#include <utility>

#include "cli/console_text.h"
#include "cli/transfer_rate.h"
#include "support/utils.h"

namespace {

constexpr int kBarWidth = 24;

// Tenths as whole number and digit, so that each language writes its own decimal sign.
struct Tenths {
    unsigned whole;
    unsigned tenth;
};
Tenths ToTenths(double value) {
    const auto tenths = static_cast<unsigned>(value * 10.0 + 0.5);
    return {tenths / 10, tenths % 10};
}

}  // namespace

ProgressBar::ProgressBar(std::string caption, bool terminal, Sink write, Clock clock)
    : caption_(std::move(caption)),
      terminal_(terminal),
      write_(std::move(write)),
      clock_(std::move(clock)) {
    openedMs_ = clock_();
}

ProgressBar::~ProgressBar() {
    Close();
}

void ProgressBar::SetText(const std::string& text) {
    if (closed_ || text == text_) {
        return;
    }
    text_ = text;
    if (terminal_) {
        Draw();
    } else {
        write_(caption_ + ": " + text_ + "\n");
    }
}

void ProgressBar::SetRange(uint32_t maximum) {
    maximum_ = maximum;
}

void ProgressBar::SetPosition(uint32_t position) {
    if (closed_) {
        return;
    }
    const uint32_t now = clock_();
    if (!positioned_) {
        positioned_ = true;
        firstPositionMs_ = now;
        firstPosition_ = position;
    }
    position_ = position;
    if (!terminal_) {
        PlainQuarters();
        return;
    }
    if (!drawn_ || ElapsedMs(lastDrawMs_, now) >= kRedrawIntervalMs) {
        Draw();
    }
}

void ProgressBar::Complete() {
    completed_ = true;
}

void ProgressBar::Close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    const Tenths seconds = ToTenths(ElapsedMs(openedMs_, clock_()) / 1000.0);
    if (completed_) {
        // The last block's position lies up to a KiB short of the end.
        position_ = maximum_;
    }
    if (terminal_) {
        Draw();
        write_("\n");
        return;
    }
    if (positioned_) {
        write_(ConsoleFormat(completed_ ? Cli::kProgressCompleted : Cli::kProgressEnded,
                             caption_.c_str(), Figures().c_str(), seconds.whole, seconds.tenth) +
               "\n");
    }
}

// Plain lines at 0, 25, 50 and 75 %: a handful per image, whatever its size.
void ProgressBar::PlainQuarters() {
    const int quarters = maximum_ == 0 ? 0 : static_cast<int>(uint64_t{position_} * 4 / maximum_);
    if (quarters > 3 || quarters <= quartersShown_) {
        return;
    }
    quartersShown_ = quarters;
    write_(caption_ + ": " + Figures() + "\n");
}

std::string ProgressBar::Figures() const {
    const unsigned percent = maximum_ == 0
                                 ? (completed_ ? 100 : 0)
                                 : static_cast<unsigned>(uint64_t{position_} * 100 / maximum_);
    return ConsoleFormat(Cli::kProgressFigures, position_, maximum_, percent);
}

std::string ProgressBar::RateAndTimeLeft() const {
    const uint32_t elapsed = ElapsedMs(firstPositionMs_, lastDrawMs_);
    const uint32_t done = position_ - firstPosition_;
    if (!positioned_ || done == 0 || elapsed < 200 || position_ < firstPosition_) {
        return "";
    }
    const TransferRate rate =
        EstimateTransferRate(done, elapsed, maximum_ > position_ ? maximum_ - position_ : 0);
    const int secondsLeft = static_cast<int>(rate.secondsLeft + 0.5);
    const Tenths perSecond = ToTenths(rate.perSecond);  // KiB/s
    return ConsoleFormat(Cli::kProgressRate, perSecond.whole, perSecond.tenth, secondsLeft / 60,
                         secondsLeft % 60);
}

void ProgressBar::Draw() {
    lastDrawMs_ = clock_();
    drawn_ = true;
    std::string line = caption_;
    if (!text_.empty()) {
        line += ": " + text_;
    }
    if (positioned_) {
        const int filled =
            maximum_ == 0 ? 0 : static_cast<int>(uint64_t{position_} * kBarWidth / maximum_);
        line += "  [";
        for (int i = 0; i < kBarWidth; ++i) {
            line += i < filled ? '#' : '.';
        }
        line += "]  " + Figures() + RateAndTimeLeft();
    }
    // The previous line may have been longer: blank out its rest.
    const size_t width = line.size();
    if (width < lastWidth_) {
        line.append(lastWidth_ - width, ' ');
    }
    lastWidth_ = width;
    write_("\r" + line);
}
