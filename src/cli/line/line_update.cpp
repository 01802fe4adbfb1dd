#include "cli/line/line_update.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "bundle/bundle_check.h"
#include "cli/bundle_text.h"
#include "cli/console_frontend.h"
#include "cli/console_text.h"
#include "cli/json_out.h"
#include "cli/line/line_display.h"
#include "cli/line/line_machine.h"
#include "cli/line/line_pipe.h"
#include "cli/line/line_record.h"
#include "cli/record_forward.h"
#include "cli/run_options.h"
#include "platform/child_process.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/process.h"
#include "record/record_file.h"
#include "support/utils.h"
#include "update/bundle_policy.h"
#include "update/exit_codes.h"

namespace {

constexpr uint32_t kRedrawMs = 250;

struct Message {
    size_t machine = 0;
    bool ended = false;
    std::string line;
};

class Mailbox {
  public:
    void Push(Message message) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(std::move(message));
        }
        ready_.notify_one();
    }
    bool Pop(Message& message, uint32_t waitMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!ready_.wait_for(lock, std::chrono::milliseconds(waitMs),
                             [this] { return !messages_.empty(); })) {
            return false;
        }
        message = std::move(messages_.front());
        messages_.pop_front();
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Message> messages_;
};

// The interrupts are counted and passed on to the children by the pump; the first one
// must not end the parent.
void KeepRunning(int) {}

// One child's pipes, read on a thread of their own until the child has ended.
struct Child {
    platform::ChildProcess process;
    std::string errors;  // the watcher's until it reports the end
    std::thread watcher;
};

void Watch(Child& child, size_t index, Mailbox& mailbox) {
    std::thread errorReader([&child] {
        char buffer[4096];
        long n = 0;
        while ((n = child.process.ReadErrors(buffer, sizeof buffer)) > 0) {
            child.errors.append(buffer, static_cast<size_t>(n));
        }
    });
    std::string pending;
    char buffer[4096];
    long n = 0;
    while ((n = child.process.ReadOutput(buffer, sizeof buffer)) > 0) {
        pending.append(buffer, static_cast<size_t>(n));
        size_t end = 0;
        while ((end = pending.find('\n')) != std::string::npos) {
            mailbox.Push({index, false, pending.substr(0, end)});
            pending.erase(0, end + 1);
        }
    }
    if (!pending.empty()) {
        mailbox.Push({index, false, pending});
    }
    errorReader.join();
    child.process.Wait();
    mailbox.Push({index, true, {}});
}

std::vector<std::string> ChildArguments(const LineOptions& options, const std::string& port,
                                        const std::string& record) {
    std::vector<std::string> args{platform::ProgramPath(),
                                  line_pipe::kCommand,
                                  line_pipe::kChildFlag,
                                  line_pipe::kPortOption,
                                  port,
                                  line_pipe::kDirOption,
                                  options.dir.empty() ? CurrentDirectory() : options.dir};
    // Where the child keeps its record itself should this parent go.
    if (!record.empty()) {
        args.insert(args.end(), {line_pipe::kRecordOption, record});
    }
    if (!options.lang.empty()) {
        args.insert(args.end(), {line_pipe::kLanguageOption, options.lang});
    }
    if (options.trace != 0) {
        args.insert(args.end(), {line_pipe::kTraceOption, std::to_string(options.trace)});
    }
    if (options.downgradeReason) {
        args.insert(args.end(), {line_pipe::kAllowDowngradeFlag, line_pipe::kReasonOption,
                                 *options.downgradeReason});
    }
    return args;
}

class Line {
  public:
    explicit Line(const LineOptions& options)
        : options_(options),
          recordPath_(RecordPath(options.record)),
          out_(options.json ? stderr : stdout),
          display_(out_, !options.json && platform::CursorControlOn(platform::Stream::Output)) {}

    int Run() {
        if (!BundleAccepted()) {
            return kExitRefused;
        }
        platform::SetInterruptHandler(KeepRunning);
        const std::unique_ptr<EarlyServerConnection> early =
            recordPath_.empty() ? nullptr : OpenServerEarly(options_.recordServer);
        StartAll();
        while (Any([](const LineMachine& m) { return !m.ready && !m.ended; })) {
            Pump(kRedrawMs);
        }
        const bool refused = SameSerialOnTwoPorts();
        const bool go = !refused && Confirm();
        // Each child's input stays open until it ends: its end tells a child that this
        // parent has gone.
        for (size_t i = 0; i < machines_.size(); ++i) {
            LineMachine& machine = machines_[i];
            if (machine.ready && !machine.ended) {
                machine.told = go;
                machine.refused = refused;
                children_[i]->process.Write(std::string(go ? line_pipe::kGo : line_pipe::kNo) +
                                            "\n");
            }
        }
        uint32_t drawn = GetTimeMs() - kRedrawMs;
        while (Any([](const LineMachine& m) { return !m.ended; })) {
            Pump(go ? 100 : kRedrawMs);
            if (go && ElapsedMs(drawn, GetTimeMs()) >= kRedrawMs) {
                drawn = GetTimeMs();
                display_.Draw(machines_, drawn);
            }
        }
        for (auto& child : children_) {
            if (child->watcher.joinable()) {
                child->watcher.join();
            }
        }
        if (go) {
            display_.Draw(machines_, GetTimeMs());
        }
        std::fputs(SummaryTable(machines_).c_str(), out_);
        std::fflush(out_);
        // The run's records go to the server together, in one transaction, once the
        // machines are done: the server never holds up a machine.
        if (kept_) {
            ForwardOutbox(options_.recordServer, recordPath_, early.get());
        }
        platform::SetInterruptHandler(nullptr);
        return WorstExitCode(machines_);
    }

  private:
    template <typename Predicate>
    bool Any(Predicate predicate) const {
        for (const LineMachine& machine : machines_) {
            if (predicate(machine)) {
                return true;
            }
        }
        return false;
    }

    void StartAll() {
        for (const std::string& port : options_.ports) {
            const size_t index = machines_.size();
            machines_.push_back({});
            LineMachine& machine = machines_.back();
            machine.port = port;
            machine.startTime = std::chrono::system_clock::now();
            machine.startMs = GetTimeMs();
            children_.push_back(std::make_unique<Child>());
            Child& child = *children_.back();
            std::string error;
            if (!child.process.Start(ChildArguments(options_, port, recordPath_), error)) {
                std::fprintf(stderr, ConsoleText(Cli::kLineCannotStart), port.c_str(),
                             error.c_str());
                machine.ended = true;
                machine.endMs = machine.startMs;
                machine.exit = {kExitFailure, 0};
                continue;
            }
            machine.started = true;
            child.watcher = std::thread(Watch, std::ref(child), index, std::ref(mailbox_));
        }
    }

    // Passes each Ctrl-C on; the second ends everything at once.
    void PassInterrupts() {
        const int count = platform::InterruptCount();
        if (count == forwarded_) {
            return;
        }
        forwarded_ = count;
        for (size_t i = 0; i < machines_.size(); ++i) {
            if (machines_[i].started && !machines_[i].ended) {
                if (count >= 2) {
                    children_[i]->process.Kill();
                } else {
                    children_[i]->process.Interrupt();
                }
            }
        }
        if (count >= 2) {
            platform::ExitNow(kExitInterrupted);
        }
    }

    void Pump(uint32_t waitMs) {
        PassInterrupts();
        Message message;
        if (!mailbox_.Pop(message, waitMs)) {
            return;
        }
        do {
            Take(message);
        } while (mailbox_.Pop(message, 0));
    }

    void Take(const Message& message) {
        LineMachine& machine = machines_[message.machine];
        if (message.ended) {
            machine.ended = true;
            machine.endMs = GetTimeMs();
            machine.exit = children_[message.machine]->process.Wait();
            machine.errors += children_[message.machine]->errors;
            children_[message.machine]->process.CloseInput();
            if (machine.LostInUpdate() && machine.record.empty()) {
                // Its machine may hold half a program and nobody else will say so.
                machine.record = LostChildRecord(machine);
                KeepRecord(machine);
            }
            return;
        }
        std::optional<nlohmann::json> line = ChildLineObject(machine, message.line);
        if (!line) {
            return;
        }
        if (ApplyChildLine(machine, *line, GetTimeMs())) {
            if (machine.refused) {
                machine.record = RefusedRecord(machine.record, refusal_);
                machine.outcome = "refused";
            }
            KeepRecord(machine);
        } else if (options_.json) {
            (*line)["port"] = machine.port;
            PrintJson(*line);
        }
    }

    // The record names its port itself, as the file holds it.
    void KeepRecord(const LineMachine& machine) {
        const KeptRecord kept = ::KeepRecord(recordPath_, machine.record);
        kept_ = kept_ || kept.error.empty();
        if (!kept.error.empty()) {
            std::fprintf(stderr, ConsoleText(Cli::kLineRecordFailed), machine.port.c_str(),
                         kept.path.c_str(), kept.error.c_str());
        }
        if (options_.json) {
            PrintJsonLine(machine.record);
        }
    }

    // The bundle is checked once before any machine is reached, so that a refused one
    // touches none of them; each child checks it again before its own connection.
    bool BundleAccepted() {
        const std::string dir = options_.dir.empty() ? CurrentDirectory() : options_.dir;
        const auto start = std::chrono::system_clock::now();
        const bundle::BundleCheck check = CheckInstalled(dir);
        std::fputs(BundleStateText(check, dir).c_str(), out_);
        if (check.state != bundle::BundleState::Refused) {
            return true;
        }
        std::fprintf(stderr, "%s\n", TerminalText(BundleRefusalText(check, dir).c_str()).c_str());
        for (const std::string& port : options_.ports) {
            LineMachine machine;
            machine.port = port;
            machine.record = BundleRefusedRecord(port, check, start);
            KeepRecord(machine);
        }
        return false;
    }

    bool SameSerialOnTwoPorts() {
        for (size_t i = 0; i < machines_.size(); ++i) {
            for (size_t j = i + 1; j < machines_.size(); ++j) {
                const LineMachine& a = machines_[i];
                const LineMachine& b = machines_[j];
                if (a.ready && b.ready && a.serial && a.serial == b.serial) {
                    refusal_ = "serial number " + std::to_string(*a.serial) + " answers on " +
                               a.port + " and " + b.port;
                    std::fprintf(stderr, ConsoleText(Cli::kLineSameSerial),
                                 std::to_string(*a.serial).c_str(), a.port.c_str(), b.port.c_str());
                    return true;
                }
            }
        }
        return false;
    }

    bool Confirm() {
        int ready = 0;
        for (const LineMachine& machine : machines_) {
            ready += machine.ready && !machine.ended ? 1 : 0;
        }
        std::fputs(ConfirmTable(machines_).c_str(), out_);
        if (ready == 0 || platform::StopRequested()) {
            return false;
        }
        std::fprintf(out_, ConsoleText(Cli::kLineQuestion), ready);
        if (options_.yes || options_.no) {
            std::fprintf(out_, "%s\n",
                         ConsoleText(options_.yes ? Cli::kUnattendedYes : Cli::kUnattendedNo));
            return options_.yes;
        }
        if (!platform::IsTerminal(platform::Stream::Input)) {
            std::fputs(ConsoleText(Cli::kLineDeclined), out_);
            return false;
        }
        return ConsoleAskTerminal(out_) && !platform::StopRequested();
    }

    const LineOptions& options_;
    std::string recordPath_;
    std::FILE* out_;
    LiveDisplay display_;
    Mailbox mailbox_;
    std::vector<LineMachine> machines_;
    std::vector<std::unique_ptr<Child>> children_;
    int forwarded_ = 0;
    std::string refusal_;  // why the line was refused, for the records
    bool kept_ = false;    // a record of this run is in the record file
};

}  // namespace

int RunLine(const LineOptions& options) {
    std::set<std::string> seen;
    for (const std::string& port : options.ports) {
        if (!seen.insert(port).second) {
            std::fprintf(stderr, ConsoleText(Cli::kLineSamePort), port.c_str());
            return kExitUsage;
        }
    }
    return Line(options).Run();
}
