#include "cli/progress_bar.h"

#include <cstdio>
#include <utility>

#include "support/utils.h"

namespace {

constexpr int kBarWidth = 24;

std::string Printf(const char* format, double a, double b = 0) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
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

void ProgressBar::Close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    const double seconds = ElapsedMs(openedMs_, clock_()) / 1000.0;
    if (terminal_) {
        Draw();
        write_("\n");
        return;
    }
    if (positioned_) {
        write_(caption_ + ": ended at " + Figures() + " after " + Printf("%.1f s", seconds) +
               "\n");
    }
}

// Plain lines at 0, 25, 50 and 75 %: a handful per image, whatever its size.
void ProgressBar::PlainQuarters() {
    const int quarters =
        maximum_ == 0 ? 0 : static_cast<int>(uint64_t{position_} * 4 / maximum_);
    if (quarters > 3 || quarters <= quartersShown_) {
        return;
    }
    quartersShown_ = quarters;
    write_(caption_ + ": " + Figures() + "\n");
}

std::string ProgressBar::Figures() const {
    const unsigned percent =
        maximum_ == 0 ? 0 : static_cast<unsigned>(uint64_t{position_} * 100 / maximum_);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%u of %u KiB (%u%%)", position_, maximum_, percent);
    return buffer;
}

std::string ProgressBar::RateAndTimeLeft() const {
    const uint32_t elapsed = ElapsedMs(firstPositionMs_, lastDrawMs_);
    const uint32_t done = position_ - firstPosition_;
    if (!positioned_ || done == 0 || elapsed < 200 || position_ < firstPosition_) {
        return "";
    }
    const double rate = done * 1000.0 / elapsed;  // KiB/s
    const double left = maximum_ > position_ ? (maximum_ - position_) / rate : 0.0;
    const int secondsLeft = static_cast<int>(left + 0.5);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "  %.1f KiB/s  %d:%02d left", rate, secondsLeft / 60,
                  secondsLeft % 60);
    return buffer;
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
            maximum_ == 0 ? 0
                          : static_cast<int>(uint64_t{position_} * kBarWidth / maximum_);
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
