#pragma once
// Levelled, colour-tagged trace lines and hex dumps, handed to the debug-output library
// VLdebug when it is bound; without it every call ends in a no-op.

#include <cstdint>

#include "platform/types.h"

#if defined(__clang__)
#define TQ8_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TQ8_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#endif

// Module levels: a line is passed on when its level is at or below the module's level.
extern int nDebugLevelFile;
extern int nDebugLevelProtokoll;
extern int nDebugLevelSRecord;
extern int nDebugLevelRS232;

inline constexpr int kMaxTraceLine = 1023;

// Binds the library; module names the module whose file name becomes the source prefix
// (nullptr: the program). True when bound, also when it was bound already.
bool LoadDebugLibrary(ModuleHandle module = nullptr);

// Puts the fallbacks back into every slot, then unloads the library.
void FreeDebugLibrary();

// A loaded module's file version packed as major<<24 | minor<<16 | build<<8 | revision
// (low 8 bits of each); 0 when it has none.
uint32_t GetModuleFileVersion(ModuleHandle module);

// Passes the source prefix and the text to the library. A null text does nothing.
int DebugOutput(const char* text);

int TraceFile(int level, const char* format, ...) TQ8_PRINTF(2, 3);
int TraceProtokoll(int level, const char* format, ...) TQ8_PRINTF(2, 3);
int TraceSRecord(int level, const char* format, ...) TQ8_PRINTF(2, 3);
int TraceRS232(int level, const char* format, ...) TQ8_PRINTF(2, 3);

void HexDumpProtokoll(int level, const void* data, uint32_t count, const char* label,
                      uint32_t startAddress);
void HexDumpRS232(int level, const void* data, uint32_t count, const char* label);

// The source prefix passed with every line ("TQ8FLASH.EXE: ").
const char* DebugSource();

// The six entry points of the library, in slot order.
namespace debug_slots {
using OutputSourceFn = int (*)(const char* source, const char* format, ...);
using OutputSourceNoParamFn = int (*)(const char* source, const char* text);
using OutputConstFn = int (*)(const char* text);
using HexDumpFn = void (*)(const void* data, unsigned count, const char* label);
using HexDumpStartAddressFn = void (*)(const void* data, unsigned count, const char* label,
                                       unsigned startAddress);
using RemoteDebuggingEnableFn = int (*)(int enable);

struct Slots {
    OutputSourceFn outputSource;
    OutputSourceNoParamFn outputSourceNoParam;
    OutputConstFn outputConst;
    HexDumpFn hexDump;
    HexDumpStartAddressFn hexDumpStartAddress;
    RemoteDebuggingEnableFn remoteDebuggingEnable;
};
}  // namespace debug_slots

// The slots as they are now; tests may replace them to watch the trace, and must put
// them back (RestoreDebugSlots puts the fallbacks back). The slots are plain stores, so
// swapping them is not safe while a poll thread runs: only while no other thread traces.
debug_slots::Slots& CurrentDebugSlots();
void RestoreDebugSlots();
