#pragma once
// update --json: the progress of the downloads as JSON lines on stdout.

#include <cstdint>
#include <string>

#include "cli/console_frontend.h"
#include "update/update_report.h"

// One line per phase change, and between them at most one every kIntervalMs:
// {"event":"progress","image":"TQ8-PROG.MOT","phase":"download","done":4096,"total":205824}
// done counts in the progress window's steps of 1 KiB; a download that the machine
// acknowledged whole ends with done == total. The report gives each download its file and
// exact size; it is filled before the downloads start.
class UpdateEvents : public ProgressListener {
  public:
    static constexpr uint32_t kIntervalMs = 250;

    explicit UpdateEvents(const UpdateReport& report);

    void Opened() override;
    void Text(const char* text) override;
    void Range(uint32_t maximum) override;
    void Position(uint32_t position) override;
    void Done() override;
    void Closed() override;

  private:
    void Emit();

    const UpdateReport& report_;
    int download_ = -1;  // 0 program, 1 texts
    std::string phase_;
    uint32_t total_ = 0;
    uint32_t done_ = 0;
    uint32_t lastEmitMs_ = 0;
    bool emitted_ = false;
};
