// The library's entry points. Their names and argument lists are what programs bind by
// name at run time, so they must not change. A build may leave one out
// (VLDEBUG_OMIT_<name>), to try a program's handling of an incomplete library.

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "export.h"
#include "log_writer.h"

namespace {

constexpr size_t kMaxLine = 1023;

const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

extern "C" {

#ifndef VLDEBUG_OMIT_DebugOutputSource
VL_EXPORT int _VL_DebugOutputSource(const char* source, const char* format, ...) {
    if (format == nullptr) {
        return 0;
    }
    char line[kMaxLine + 1];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) {
        return 0;
    }
    return vldebug::LogWriter::Instance().WriteLine(OrEmpty(source), line) ? 1 : 0;
}
#endif

#ifndef VLDEBUG_OMIT_DebugOutputSourceNoParam
VL_EXPORT int _VL_DebugOutputSourceNoParam(const char* source, const char* text) {
    if (text == nullptr) {
        return 0;
    }
    return vldebug::LogWriter::Instance().WriteLine(OrEmpty(source), text) ? 1 : 0;
}
#endif

#ifndef VLDEBUG_OMIT_DebugOutputConst
VL_EXPORT int _VL_DebugOutputConst(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    return vldebug::LogWriter::Instance().WriteLine("", text) ? 1 : 0;
}
#endif

#ifndef VLDEBUG_OMIT_DebugHexDump
VL_EXPORT void _VL_DebugHexDump(const void* data, unsigned count, const char* label) {
    vldebug::LogWriter::Instance().WriteDump(static_cast<const uint8_t*>(data), count,
                                             OrEmpty(label), std::nullopt);
}
#endif

#ifndef VLDEBUG_OMIT_DebugHexDumpStartAddress
VL_EXPORT void _VL_DebugHexDumpStartAddress(const void* data, unsigned count, const char* label,
                                            unsigned startAddress) {
    vldebug::LogWriter::Instance().WriteDump(static_cast<const uint8_t*>(data), count,
                                             OrEmpty(label), startAddress);
}
#endif

#ifndef VLDEBUG_OMIT_RemoteDebuggingEnable
// This library has no remote channel: the request is refused (0) and output stays local.
VL_EXPORT int _VL_RemoteDebuggingEnable(int /*enable*/) {
    return 0;
}
#endif

}  // extern "C"
