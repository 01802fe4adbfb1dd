// A front end that shows nothing: the benchmark times the protocol, not a terminal.
#include "support/frontend.h"

int FrontEndMessageBox(WindowHandle, const char*, const char*, unsigned) {
    return kIdOk;
}

unsigned FrontEndDispatchMessages(unsigned) {
    return 0;
}

bool FrontEndMessagesPending() {
    return false;
}

void FrontEndPostMessage(WindowHandle, unsigned, uintptr_t, intptr_t) {}

void FrontEndNotice(const char*) {}

int FrontEndWakeDescriptor() {
    return -1;
}

WindowHandle FrontEndProgressOpen(WindowHandle, const char*) {
    return nullptr;
}

void FrontEndProgressText(WindowHandle, const char*) {}

void FrontEndProgressRange(WindowHandle, uint32_t) {}

void FrontEndProgressPosition(WindowHandle, uint32_t) {}

void FrontEndProgressDone(WindowHandle) {}

void FrontEndProgressClose(WindowHandle) {}

int FrontEndSelectInterface(WindowHandle) {
    return 0;
}
