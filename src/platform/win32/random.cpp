#include "platform/random.h"

#include <windows.h>
// bcrypt.h needs the types of windows.h first.
#include <bcrypt.h>

namespace platform {

bool SystemRandomBytes(uint8_t* out, size_t size) {
    while (size > 0) {
        const ULONG piece = size > 0x10000 ? 0x10000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(
                ::BCryptGenRandom(nullptr, out, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            return false;
        }
        out += piece;
        size -= piece;
    }
    return true;
}

}  // namespace platform
