// The file version where a shared object has no version resource: the two halves of a
// Windows fixed version record, which the binding side reads by name.

#include <cstdint>

#include "export.h"

// Declared first so that the constants get external linkage and C names.
extern "C" VL_EXPORT const uint32_t FileVersionMS;
extern "C" VL_EXPORT const uint32_t FileVersionLS;

const uint32_t FileVersionMS = (VLDEBUG_VERSION_MAJOR << 16) | VLDEBUG_VERSION_MINOR;
const uint32_t FileVersionLS = (VLDEBUG_VERSION_BUILD << 16) | VLDEBUG_VERSION_REVISION;
