#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/posix/unique_fd.h"
#include "platform/posix/whole_transfer.h"

extern char** environ;

namespace platform {

struct ChildProcess::State {
    pid_t pid = -1;
    std::mutex waitMutex;
    bool waited = false;
    ChildExit exit;
};

namespace {

// The child's end stays with the caller until the child has it; the parent's is adopted.
bool MakePipe(UniqueFd& childEnd, ChildPipe& parentEnd, bool childReads) {
    int fds[2];
    // Close-on-exec, so that a child started later never holds another child's pipe open.
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    childEnd.Reset(fds[childReads ? 0 : 1]);
    parentEnd.Adopt(fds[childReads ? 1 : 0]);
    return true;
}

// A parent that writes to a child which has gone must get an error, not SIGPIPE.
void IgnoreBrokenPipes() {
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

}  // namespace

void ChildPipe::Close() {
    if (open_) {
        ::close(static_cast<int>(native_));
        open_ = false;
    }
}

long ChildPipe::Read(char* buffer, size_t size) {
    if (!open_) {
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(native_), buffer, size);
        if (n >= 0 || errno != EINTR) {
            return static_cast<long>(n);
        }
    }
}

bool ChildPipe::WriteAll(const std::string& text) {
    if (!open_) {
        return false;
    }
    size_t done = 0;
    return TransferWhole(text.size(), done, [&](size_t at, size_t rest) {
        return ::write(static_cast<int>(native_), text.data() + at, rest);
    });
}

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    ClosePipes();
    if (state_->pid > 0) {
        Wait();
    }
}

bool ChildProcess::Start(const std::vector<std::string>& args, std::string& error) {
    if (args.empty()) {
        error = "no program";
        return false;
    }
    IgnoreBrokenPipes();
    UniqueFd childInput, childOutput, childErrors;
    if (!MakePipe(childInput, input_, true) || !MakePipe(childOutput, output_, false) ||
        !MakePipe(childErrors, errors_, false)) {
        error = std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childInput.Get(), 0);
    posix_spawn_file_actions_adddup2(&actions, childOutput.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, childErrors.Get(), 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child's signals start as a fresh program's do: SIGPIPE and SIGINT by default.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const int result =
        ::posix_spawn(&state_->pid, args[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        state_->pid = -1;
        error = std::strerror(result);
        return false;
    }
    return true;
}

void ChildProcess::Interrupt() {
    std::lock_guard<std::mutex> lock(state_->waitMutex);
    if (state_->pid > 0 && !state_->waited) {
        ::kill(state_->pid, SIGINT);
    }
}

void ChildProcess::Kill() {
    std::lock_guard<std::mutex> lock(state_->waitMutex);
    if (state_->pid > 0 && !state_->waited) {
        ::kill(state_->pid, SIGKILL);
    }
}

ChildExit ChildProcess::Wait() {
    {
        std::lock_guard<std::mutex> lock(state_->waitMutex);
        if (state_->pid <= 0 || state_->waited) {
            return state_->exit;
        }
    }
    // Waits without reaping, so that the process id stays the child's while a signal may
    // still be sent to it; the reaping below is under the lock that the senders take.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(state_->pid), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    std::lock_guard<std::mutex> lock(state_->waitMutex);
    if (state_->waited) {
        return state_->exit;
    }
    int status = 0;
    pid_t result = -1;
    do {
        result = ::waitpid(state_->pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    state_->waited = true;
    if (result == state_->pid && WIFEXITED(status)) {
        state_->exit = {WEXITSTATUS(status), 0};
    } else if (result == state_->pid && WIFSIGNALED(status)) {
        state_->exit = {-1, WTERMSIG(status)};
    }
    return state_->exit;
}

long ChildProcess::Id() const {
    return static_cast<long>(state_->pid);
}

}  // namespace platform
