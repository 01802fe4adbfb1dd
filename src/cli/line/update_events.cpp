#include "cli/line/update_events.h"

#include <algorithm>
#include <cstring>

#include "cli/json_out.h"
#include "cli/line/line_pipe.h"
#include "support/settings.h"
#include "support/utils.h"
#include "text_ids.h"

namespace {

constexpr uint32_t kProgressUnit = 1024;

std::string FileName(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

UpdateEvents::UpdateEvents(const UpdateReport& report) : report_(report) {}

void UpdateEvents::Opened() {
    ++download_;
    phase_.clear();
    total_ = 0;
    done_ = 0;
    const size_t index = static_cast<size_t>(download_);
    if (index < report_.images.size()) {
        total_ = report_.images[index].size;
    }
}

void UpdateEvents::Text(const char* text) {
    const char* phase = "other";
    if (std::strcmp(text, LoadText(kTextErasing)) == 0) {
        phase = "erase";
    } else if (std::strcmp(text, LoadText(kTextDownloading)) == 0) {
        phase = line_pipe::kDownloadPhase;
    }
    if (phase_ != phase) {
        phase_ = phase;
        Emit();
    }
}

void UpdateEvents::Range(uint32_t maximum) {
    if (total_ == 0) {
        total_ = maximum * kProgressUnit;
    }
}

void UpdateEvents::Position(uint32_t position) {
    done_ = std::min(position * kProgressUnit, total_);
    if (!emitted_ || ElapsedMs(lastEmitMs_, GetTimeMs()) >= kIntervalMs) {
        Emit();
    }
}

// The positions stop at the last block's start: the whole size is said here, always.
void UpdateEvents::Done() {
    done_ = total_;
    Emit();
}

void UpdateEvents::Closed() {}

void UpdateEvents::Emit() {
    const size_t index = static_cast<size_t>(download_);
    const nlohmann::json image = index < report_.images.size()
                                     ? nlohmann::json(FileName(report_.images[index].file))
                                     : nlohmann::json(nullptr);
    PrintJson({{line_pipe::kEvent, line_pipe::kProgressEvent},
               {line_pipe::kImage, image},
               {line_pipe::kPhase, phase_.empty() ? "start" : phase_},
               {line_pipe::kDone, done_},
               {line_pipe::kTotal, total_}});
    lastEmitMs_ = GetTimeMs();
    emitted_ = true;
}
