#include "platform/interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

std::atomic<InterruptHandler> gHandler{nullptr};
std::atomic<int> gCount{0};
// /dev/null, opened before any interrupt can come: the handler may not open files.
int gNoInput = -1;

static_assert(std::atomic<InterruptHandler>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnInterruptSignal(int) {
    const int savedErrno = errno;
    // After an interrupt the program reads no more answers. A read of the terminal that
    // has begun comes back with EINTR; one that was about to begin finds the input at
    // its end instead of waiting for good.
    if (gNoInput >= 0) {
        ::dup2(gNoInput, STDIN_FILENO);
    }
    const int count = gCount.fetch_add(1) + 1;
    RequestStop();
    if (InterruptHandler handler = gHandler.load()) {
        handler(count);
    }
    errno = savedErrno;
}

}  // namespace

bool SetInterruptHandler(InterruptHandler handler) {
    if (gNoInput < 0) {
        gNoInput = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    gHandler.store(handler);
    gCount.store(0);
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read waiting on the terminal must come back with EINTR.
    action.sa_flags = 0;
    action.sa_handler = handler != nullptr ? OnInterruptSignal : SIG_DFL;
    // A service stop and a closed terminal leave nobody to watch the machine: they stop
    // the run as Ctrl-C does, never in the middle of a block.
    bool installed = true;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        installed = ::sigaction(signal, &action, nullptr) == 0 && installed;
    }
    return installed;
}

int InterruptCount() {
    return gCount.load();
}

void IgnoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

void ExitNow(int code) {
    ::_exit(code);
}

}  // namespace platform
