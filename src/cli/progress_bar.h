#pragma once
// The console's progress window of one download: on a terminal a bar redrawn in place,
// otherwise a few plain lines per image, so a log never gets one line per block.

#include <cstdint>
#include <functional>
#include <string>

class ProgressBar {
  public:
    using Sink = std::function<void(const std::string&)>;
    using Clock = std::function<uint32_t()>;

    // Redraws on a terminal come at most this often, apart from text changes and the end.
    static constexpr uint32_t kRedrawIntervalMs = 100;

    // caption and texts are UTF-8.
    ProgressBar(std::string caption, bool terminal, Sink write, Clock clock);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void SetText(const std::string& text);
    void SetRange(uint32_t maximum);  // KiB
    void SetPosition(uint32_t position);
    // The whole image went through: the last line says 100 %, whatever the last block's
    // position was.
    void Complete();
    // Ends the bar's line; later calls do nothing.
    void Close();

  private:
    void Draw();
    void PlainQuarters();
    std::string Figures() const;
    std::string RateAndTimeLeft() const;

    std::string caption_;
    bool terminal_;
    Sink write_;
    Clock clock_;
    std::string text_;
    uint32_t maximum_ = 0;
    uint32_t position_ = 0;
    bool positioned_ = false;
    uint32_t openedMs_ = 0;
    uint32_t firstPositionMs_ = 0;
    uint32_t firstPosition_ = 0;
    uint32_t lastDrawMs_ = 0;
    bool drawn_ = false;
    size_t lastWidth_ = 0;
    int quartersShown_ = -1;
    bool closed_ = false;
    bool completed_ = false;
};
