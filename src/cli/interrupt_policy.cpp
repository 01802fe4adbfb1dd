#include "cli/interrupt_policy.h"

#include <atomic>
#include <cstring>

#include "cli/console_frontend.h"
#include "platform/interrupt.h"
#include "support/settings.h"
#include "text_ids.h"
#include "update/exit_codes.h"
#include "update/raw_download.h"

namespace {

std::atomic<bool> gUpdateUnderway{false};
std::atomic<bool> gInterrupted{false};

static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int count) {
    gInterrupted.store(true);
    if (count >= 2 || !gUpdateUnderway.load()) {
        platform::ExitNow(kExitInterrupted);
    }
    ConsoleStopAsking();
    RequestTransferStop();
}

void OnQuestion(const char* caption, bool yes) {
    if (yes && caption != nullptr && std::strcmp(caption, LoadText(kCaptionAsk)) == 0) {
        gUpdateUnderway.store(true);
    }
}

}  // namespace

void InstallInterruptPolicy() {
    ConsoleSetQuestionObserver(OnQuestion);
    platform::SetInterruptHandler(OnInterrupt);
}

void StopAsFirstInterrupt() {
    if (gInterrupted.exchange(true)) {
        return;
    }
    ConsoleStopAsking();
    RequestTransferStop();
}

void MachineReleased() {
    gUpdateUnderway.store(false);
}

bool Interrupted() {
    return gInterrupted.load();
}
