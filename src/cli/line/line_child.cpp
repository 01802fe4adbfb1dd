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
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli/console_session.h"
#include "cli/json_out.h"
#include "cli/line/line_child.h"
#include "cli/line/line_pipe.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "record/record_context.h"
#include "support/globals.h"
#include "support/settings.h"
#include "update/machine_variables.h"
#include "update/update_report.h"
#include "update/version_text.h"

namespace {

constexpr unsigned kCaptionOverview = 2310;

// The parent's lines, read on a thread of their own so that the end of the input is
// seen while the update runs, not only at the overview. The reader may outlive the
// update, so what it fills is shared with it.
class ParentInput {
  public:
    ParentInput() : state_(std::make_shared<State>()) {
        std::thread([state = state_] { state->Read(); }).detach();
    }

    // The parent's answer at the overview; none once the parent has gone.
    std::optional<std::string> Answer() {
        std::unique_lock<std::mutex> lock(state_->mutex);
        state_->changed.wait(lock, [this] { return state_->answer.has_value() || state_->gone; });
        return state_->answer;
    }

  private:
    struct State {
        void Read() {
            std::string line;
            while (std::getline(std::cin, line)) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!answer) {
                    answer = line;
                    changed.notify_all();
                }
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                gone = true;
                changed.notify_all();
            }
            platform::RequestStop();
        }

        std::mutex mutex;
        std::condition_variable changed;
        std::optional<std::string> answer;
        bool gone = false;
    };

    std::shared_ptr<State> state_;
};

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
bool AnswerForTheParent(const char* caption, const UpdateReport& report, ParentInput& parent) {
    if (caption == nullptr || std::string(caption) != LoadText(kCaptionOverview)) {
        return true;
    }
    SayReady(report);
    return parent.Answer() == line_pipe::kGo;
}

}  // namespace

void StartLineChildOutput(ConsoleSession& session) {
    platform::IgnoreBrokenPipes();
    session.jsonStream = platform::SetStandardOutputAside();
    session.jsonReaderGone = platform::RequestStop;
    session.jsonOutput = true;
}

int RunLineChild(ConsoleSession& session, UpdateOptions options) {
    ParentInput parent;
    UpdateReport report;
    options.report = &report;
    options.json = true;
    options.recordToFile = false;
    session.questionAnswerer = [&report, &parent](const char* caption) {
        return AnswerForTheParent(caption, report, parent);
    };
    const int code = RunUpdate(session, options);
    session.questionAnswerer = nullptr;
    return code;
}
