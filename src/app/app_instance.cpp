#include "app/app_ids.h"

namespace {
HINSTANCE gInstance = nullptr;
}

HINSTANCE AppInstance() {
    return gInstance != nullptr ? gInstance : ::GetModuleHandleA(nullptr);
}

void SetAppInstance(HINSTANCE instance) {
    gInstance = instance;
}
