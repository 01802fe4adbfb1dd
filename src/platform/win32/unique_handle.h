#pragma once
// The owner of a Win32 handle. A service whose system calls go through a replaceable
// table names its own closer, so that a test's table sees every close. Both "no handle"
// values of the system (null and INVALID_HANDLE_VALUE) count as empty.

#include <windows.h>

#include "platform/unique_resource.h"

namespace platform {

inline BOOL CloseSystemHandle(HANDLE h) {
    return ::CloseHandle(h);
}

template <BOOL (*CloseFn)(HANDLE)>
struct HandleTraits {
    using Value = HANDLE;
    static constexpr HANDLE kEmpty = nullptr;
    static bool Held(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return CloseFn(h) != FALSE; }
    static DWORD SaveError() { return ::GetLastError(); }
    static void RestoreError(DWORD saved) { ::SetLastError(saved); }
};

template <BOOL (*CloseFn)(HANDLE)>
using BasicUniqueHandle = UniqueResource<HandleTraits<CloseFn>>;
using UniqueHandle = BasicUniqueHandle<CloseSystemHandle>;

}  // namespace platform
