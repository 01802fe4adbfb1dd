#pragma once
// The owner of a file descriptor. A service whose system calls go through a replaceable
// table names its own closer, so that a test's table sees every close.

#include <unistd.h>

#include <cerrno>

#include "platform/unique_resource.h"

namespace platform {

inline int CloseDescriptor(int fd) {
    return ::close(fd);
}

template <int (*CloseFn)(int)>
struct DescriptorTraits {
    using Value = int;
    static constexpr int kEmpty = -1;
    static bool Held(int fd) { return fd >= 0; }
    static bool Close(int fd) { return CloseFn(fd) == 0; }
    static int SaveError() { return errno; }
    static void RestoreError(int saved) { errno = saved; }
};

template <int (*CloseFn)(int)>
using BasicUniqueFd = UniqueResource<DescriptorTraits<CloseFn>>;
using UniqueFd = BasicUniqueFd<CloseDescriptor>;

}  // namespace platform
