// The child's side of an update of several machines at once. It is a complete single
// update with --json output; at the version overview it tells the parent what it found
// and takes the parent's answer, so that the operator confirms all machines once
// (line_pipe.h has the words of both sides).
// stdout carries these lines alone from the child's first byte: what it says for a person
// goes to stderr, which the parent keeps for its summary. A child whose parent has gone
// stops as after a Ctrl-C and keeps its record in the record file itself.

#include "cli/line/line_child.h"

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli/console_frontend.h"
#include "cli/interrupt_policy.h"
#include "cli/json_out.h"
#include "cli/line/line_pipe.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "record/record_context.h"
#include "record/version_text.h"
#include "support/globals.h"
#include "support/settings.h"
#include "update/machine_variables.h"
#include "update/update_report.h"

namespace {

constexpr unsigned kCaptionOverview = 2310;

const UpdateReport* gReport = nullptr;

// The parent's lines, read on a thread of their own so that the end of the input is
// seen while the update runs, not only at the overview.
class ParentInput {
  public:
    void Start() {
        std::thread([this] { Read(); }).detach();
    }

    // The parent's answer at the overview; none once the parent has gone.
    std::optional<std::string> Answer() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return answer_.has_value() || gone_; });
        return answer_;
    }

  private:
    void Read() {
        std::string line;
        while (std::getline(std::cin, line)) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!answer_) {
                answer_ = line;
                changed_.notify_all();
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            gone_ = true;
            changed_.notify_all();
        }
        StopAsFirstInterrupt();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::string> answer_;
    bool gone_ = false;
};

ParentInput& Parent() {
    static ParentInput input;
    return input;
}

nlohmann::json Optional(const std::optional<std::string>& text) {
    return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

void SayReady(const UpdateReport& report) {
    nlohmann::json ready = {{line_pipe::kEvent, line_pipe::kReadyEvent}};
    ready[line_pipe::kSerialNumber] =
        report.serialNumber ? nlohmann::json(static_cast<uint16_t>(*report.serialNumber))
                            : nlohmann::json(nullptr);
    std::optional<std::string> machine;
    if (report.machineVersion && report.machineBuild) {
        machine = VersionText(MachineVersionValue(static_cast<uint16_t>(*report.machineVersion),
                                                  *report.machineBuild));
    }
    ready[line_pipe::kMachineVersion] = Optional(machine);
    ready[line_pipe::kFileVersion] =
        Optional(report.fileVersion ? VersionText(*report.fileVersion) : std::nullopt);
    uint64_t bytes = 0;
    for (const UpdateImageReport& image : report.images) {
        bytes += image.size;
    }
    ready[line_pipe::kBytes] = bytes;
    // The device behind the port, for a record the parent may have to write itself.
    ready[line_pipe::kDevice] = Optional(UpdateStopwatch(nInterface).Context("", "", 0).device);
    PrintJson(ready);
}

// The first question is answered Yes, as --yes does; the overview is the parent's.
bool AnswerForTheParent(const char* caption) {
    if (caption == nullptr || std::string(caption) != LoadText(kCaptionOverview) ||
        gReport == nullptr) {
        return true;
    }
    SayReady(*gReport);
    return Parent().Answer() == line_pipe::kGo;
}

}  // namespace

void StartLineChildOutput() {
    platform::IgnoreBrokenPipes();
    SetJsonOutput(platform::SetStandardOutputAside(), StopAsFirstInterrupt);
    ConsoleSetJsonOutput(true);
}

int RunLineChild(UpdateOptions options) {
    Parent().Start();
    UpdateReport report;
    gReport = &report;
    options.report = &report;
    options.json = true;
    options.recordToFile = false;
    ConsoleSetQuestionAnswerer(AnswerForTheParent);
    const int code = RunUpdate(options);
    ConsoleSetQuestionAnswerer(nullptr);
    gReport = nullptr;
    return code;
}
