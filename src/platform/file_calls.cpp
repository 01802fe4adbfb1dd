#include "platform/file.h"

namespace platform {

// Shared by both targets: only the native table differs between them.
FileCalls& CurrentFileCalls() {
    static FileCalls calls = NativeFileCalls();
    return calls;
}

void RestoreFileCalls() {
    CurrentFileCalls() = NativeFileCalls();
}

}  // namespace platform
