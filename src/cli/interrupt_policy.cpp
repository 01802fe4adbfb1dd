#include "cli/interrupt_policy.h"

#include "cli/console_session.h"
#include "platform/interrupt.h"
#include "update/exit_codes.h"

namespace {

void OnInterrupt(int count) {
    const ConsoleSession* session = ConsoleSession::Current();
    if (count >= 2 || session == nullptr || !session->updateUnderway.load()) {
        platform::ExitNow(kExitInterrupted);
    }
}

}  // namespace

void InstallInterruptPolicy() {
    platform::SetInterruptHandler(OnInterrupt);
}

void UpdateConfirmed(ConsoleSession& session) {
    session.updateUnderway.store(true);
}

void MachineReleased(ConsoleSession& session) {
    session.updateUnderway.store(false);
}
