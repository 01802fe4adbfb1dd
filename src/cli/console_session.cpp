#include "cli/console_session.h"

namespace {

// The one way to the run's session for the callers that cannot be handed it.
std::atomic<ConsoleSession*> gSession{nullptr};
static_assert(std::atomic<ConsoleSession*>::is_always_lock_free);

}  // namespace

ConsoleSession::ConsoleSession() {
    gSession.store(this);
}

ConsoleSession::~ConsoleSession() {
    ConsoleSession* self = this;
    gSession.compare_exchange_strong(self, nullptr);
}

ConsoleSession* ConsoleSession::Current() {
    return gSession.load();
}

std::FILE* ConsoleSession::PersonOut() const {
    return jsonOutput ? stderr : stdout;
}
