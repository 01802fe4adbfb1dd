#include "support/trace.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/dynlib.h"
#include "platform/process.h"
#include "support/frontend.h"
#include "support/utils.h"

int nDebugLevelFile = 2;
int nDebugLevelProtokoll = 2;
int nDebugLevelSRecord = 2;
int nDebugLevelRS232 = 2;

namespace {

constexpr const char* kLibraryName = "VLdebug.dll";
constexpr uint32_t kRecommendedVersion = 0x01040002;
constexpr int kSourceSize = 258 + 2 + 1;
constexpr int kCaptionSize = 64;  // 63 characters and the terminator

ModuleHandle hDebugLibrary = nullptr;
char szDebugSource[kSourceSize] = "";

int FallbackOutputSource(const char*, const char*, ...) {
    return 0;
}
int FallbackOutputSourceNoParam(const char*, const char*) {
    return 0;
}
int FallbackOutputConst(const char*) {
    return 0;
}
void FallbackHexDump(const void*, unsigned, const char*) {}
void FallbackHexDumpStartAddress(const void*, unsigned, const char*, unsigned) {}
int FallbackRemoteDebuggingEnable(int) {
    return 0;
}

constexpr debug_slots::Slots kFallbacks{
    FallbackOutputSource, FallbackOutputSourceNoParam, FallbackOutputConst,
    FallbackHexDump,      FallbackHexDumpStartAddress, FallbackRemoteDebuggingEnable,
};

debug_slots::Slots gSlots = kFallbacks;

template <typename Fn>
void Resolve(ModuleHandle library, const char* name, Fn& slot) {
    if (void* symbol = platform::FindSymbol(library, name)) {
        slot = reinterpret_cast<Fn>(symbol);
    }
}

void BuildSource(ModuleHandle module) {
    const std::string path = platform::ModuleFileName(module);
    // Only the platform's own separator cuts: elsewhere a backslash may be part of a name.
    const size_t cut = path.rfind(platform::PathSeparator());
    std::string name = path;
    if (cut != std::string::npos) {
        name = path.substr(cut + 1);
        for (char& c : name) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    CopyString(szDebugSource, name.c_str(), kSourceSize - 2);
    AppendString(szDebugSource, ": ", kSourceSize);
}

void WarnObsolete(uint32_t version) {
    // A long program name is cut to the caption's field rather than overflow it.
    char caption[kCaptionSize];
    CopyString(caption, szDebugSource, sizeof caption);
    AppendString(caption, "Obsolete Library", sizeof caption);
    char text[512];
    std::snprintf(text, sizeof text,
                  "The file %s is obsolete (V%d.%02d.%03d).\r\n\r\n"
                  "Recommended version is %d.%02d.%03d.\r\n"
                  "Debugging-functions may be limited.\r\n"
                  "Please use a later version of the library.",
                  kLibraryName, static_cast<int>(version >> 24),
                  static_cast<int>((version >> 16) & 0xFF), static_cast<int>(version & 0xFFFF), 1,
                  4, 2);
    FrontEndMessageBox(nullptr, text, caption, kMbOk | kMbIconExclamation);
}

// Formats into the line buffer, cutting what does not fit; the level test is the
// caller's, so that a suppressed line costs no formatting.
int FormatAndOutput(const char* format, va_list args) {
    char line[kMaxTraceLine + 1];
    if (std::vsnprintf(line, sizeof line, format, args) < 0) {
        line[0] = '\0';
    }
    return DebugOutput(line);
}

}  // namespace

debug_slots::Slots& CurrentDebugSlots() {
    return gSlots;
}
void RestoreDebugSlots() {
    gSlots = kFallbacks;
}

bool LoadDebugLibrary(ModuleHandle module) {
    if (hDebugLibrary != nullptr) {
        return true;
    }
    ModuleHandle library = platform::OpenLibrary(kLibraryName);
    if (library == nullptr) {
        return false;
    }
    BuildSource(module);
    const uint32_t version = GetModuleFileVersion(library);
    if (version < kRecommendedVersion) {
        WarnObsolete(version);
    }
    Resolve(library, "_VL_DebugOutputSource", gSlots.outputSource);
    Resolve(library, "_VL_DebugOutputSourceNoParam", gSlots.outputSourceNoParam);
    Resolve(library, "_VL_DebugOutputConst", gSlots.outputConst);
    Resolve(library, "_VL_DebugHexDump", gSlots.hexDump);
    Resolve(library, "_VL_DebugHexDumpStartAddress", gSlots.hexDumpStartAddress);
    Resolve(library, "_VL_RemoteDebuggingEnable", gSlots.remoteDebuggingEnable);
    hDebugLibrary = library;
    return true;
}

void FreeDebugLibrary() {
    RestoreDebugSlots();
    if (hDebugLibrary != nullptr) {
        platform::CloseLibrary(hDebugLibrary);
        hDebugLibrary = nullptr;
    }
}

uint32_t GetModuleFileVersion(ModuleHandle module) {
    const auto parts = platform::ModuleFileVersion(module);
    if (!parts) {
        return 0;
    }
    return (uint32_t{(*parts)[0]} & 0xFF) << 24 | (uint32_t{(*parts)[1]} & 0xFF) << 16 |
           (uint32_t{(*parts)[2]} & 0xFF) << 8 | (uint32_t{(*parts)[3]} & 0xFF);
}

const char* DebugSource() {
    return szDebugSource;
}

int DebugOutput(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    return gSlots.outputSourceNoParam(szDebugSource, text);
}

#define TQ8_DEFINE_TRACE(name, levelVariable)             \
    int name(int level, const char* format, ...) {        \
        if (level > levelVariable) {                      \
            return 0;                                     \
        }                                                 \
        va_list args;                                     \
        va_start(args, format);                           \
        const int result = FormatAndOutput(format, args); \
        va_end(args);                                     \
        return result;                                    \
    }

TQ8_DEFINE_TRACE(TraceFile, nDebugLevelFile)
TQ8_DEFINE_TRACE(TraceProtokoll, nDebugLevelProtokoll)
TQ8_DEFINE_TRACE(TraceSRecord, nDebugLevelSRecord)
TQ8_DEFINE_TRACE(TraceRS232, nDebugLevelRS232)

#undef TQ8_DEFINE_TRACE

void HexDumpProtokoll(int level, const void* data, uint32_t count, const char* label,
                      uint32_t startAddress) {
    if (level > nDebugLevelProtokoll) {
        return;
    }
    gSlots.hexDumpStartAddress(data, count, label, startAddress);
}

void HexDumpRS232(int level, const void* data, uint32_t count, const char* label) {
    if (level > nDebugLevelRS232) {
        return;
    }
    gSlots.hexDump(data, count, label);
}
