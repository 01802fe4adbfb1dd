#include "platform/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<InterruptHandler> gHandler{nullptr};
std::atomic<int> gCount{0};

static_assert(std::atomic<InterruptHandler>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnSigint(int) {
    const int count = gCount.fetch_add(1) + 1;
    if (InterruptHandler handler = gHandler.load()) {
        handler(count);
    }
}

}  // namespace

bool SetInterruptHandler(InterruptHandler handler) {
    gHandler.store(handler);
    gCount.store(0);
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read waiting on the terminal must come back with EINTR.
    action.sa_flags = 0;
    action.sa_handler = handler != nullptr ? OnSigint : SIG_DFL;
    return ::sigaction(SIGINT, &action, nullptr) == 0;
}

void ExitNow(int code) {
    ::_exit(code);
}

}  // namespace platform
