#include "trace_capture.h"

#include <algorithm>
#include <mutex>

namespace {

std::mutex gMutex;
std::vector<std::string> gLines;
std::vector<std::string> gSources;
std::vector<CapturedDump> gDumps;

int CaptureLine(const char* source, const char* text) {
    std::lock_guard<std::mutex> lock(gMutex);
    gSources.emplace_back(source);
    gLines.emplace_back(text);
    return 1;
}

void CaptureDump(const void* data, unsigned count, const char* label) {
    std::lock_guard<std::mutex> lock(gMutex);
    const auto* p = static_cast<const uint8_t*>(data);
    gDumps.push_back({std::vector<uint8_t>(p, p + count), label, false, 0});
}

void CaptureDumpAt(const void* data, unsigned count, const char* label, unsigned address) {
    std::lock_guard<std::mutex> lock(gMutex);
    const auto* p = static_cast<const uint8_t*>(data);
    gDumps.push_back({std::vector<uint8_t>(p, p + count), label, true, address});
}

}  // namespace

TraceCapture::TraceCapture() : saved_(CurrentDebugSlots()) {
    Clear();
    CurrentDebugSlots().outputSourceNoParam = CaptureLine;
    CurrentDebugSlots().hexDump = CaptureDump;
    CurrentDebugSlots().hexDumpStartAddress = CaptureDumpAt;
}

TraceCapture::~TraceCapture() {
    CurrentDebugSlots() = saved_;
}

std::vector<std::string> TraceCapture::Lines() const {
    std::lock_guard<std::mutex> lock(gMutex);
    return gLines;
}

std::vector<std::string> TraceCapture::Sources() const {
    std::lock_guard<std::mutex> lock(gMutex);
    return gSources;
}

std::vector<CapturedDump> TraceCapture::Dumps() const {
    std::lock_guard<std::mutex> lock(gMutex);
    return gDumps;
}

void TraceCapture::Clear() {
    std::lock_guard<std::mutex> lock(gMutex);
    gLines.clear();
    gSources.clear();
    gDumps.clear();
}

size_t TraceCapture::Count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(gMutex);
    return static_cast<size_t>(std::count(gLines.begin(), gLines.end(), text));
}

size_t TraceCapture::CountPrefix(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(gMutex);
    return static_cast<size_t>(
        std::count_if(gLines.begin(), gLines.end(),
                      [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

TraceLevels::TraceLevels(int level)
    : file_(nDebugLevelFile),
      protokoll_(nDebugLevelProtokoll),
      srecord_(nDebugLevelSRecord),
      rs232_(nDebugLevelRS232) {
    nDebugLevelFile = nDebugLevelProtokoll = nDebugLevelSRecord = nDebugLevelRS232 = level;
}

TraceLevels::~TraceLevels() {
    nDebugLevelFile = file_;
    nDebugLevelProtokoll = protokoll_;
    nDebugLevelSRecord = srecord_;
    nDebugLevelRS232 = rs232_;
}
