// The fuzz targets' front end: nobody is there to answer.

#include "support/frontend.h"

int FrontEndMessageBox(WindowHandle, const char*, const char*, unsigned type) {
    return (type & kMbButtonMask) == kMbYesNo ? kIdNo : kIdOk;
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
