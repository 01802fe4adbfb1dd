#include "platform/random.h"

#include <sys/random.h>

#include "platform/posix/whole_transfer.h"

namespace platform {

bool SystemRandomBytes(uint8_t* out, size_t size) {
    size_t done = 0;
    return TransferWhole(size, done,
                         [out](size_t at, size_t rest) { return ::getrandom(out + at, rest, 0); });
}

}  // namespace platform
