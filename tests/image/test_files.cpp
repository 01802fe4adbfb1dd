#include "test_files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/errors.h"

namespace imagetest {
namespace {

Faults gFaults;

bool FaultyRead(platform::FileHandle file, void* data, uint32_t count, uint32_t* done) {
    const int n = gFaults.reads++;
    if (n == gFaults.failReadAt) {
        *done = 0;
        platform::SetLastError(gFaults.failReadCode);
        return false;
    }
    if (gFaults.maxRead != 0 && count > gFaults.maxRead) {
        count = gFaults.maxRead;
    }
    return platform::NativeFileCalls().read(file, data, count, done);
}

bool FaultyWrite(platform::FileHandle file, const void* data, uint32_t count, uint32_t* done) {
    if (!gFaults.failWrite) {
        return platform::NativeFileCalls().write(file, data, count, done);
    }
    const uint32_t part = std::min(count, gFaults.writeLimit);
    platform::NativeFileCalls().write(file, data, part, done);
    platform::SetLastError(gFaults.failWriteCode);
    return false;
}

bool FaultyClose(platform::FileHandle file) {
    if (gFaults.failClose) {
        platform::SetLastError(gFaults.failWriteCode);
        return false;
    }
    const bool ok = platform::NativeFileCalls().close(file);
    gFaults.closes += ok ? 1 : 0;
    return ok;
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<int> serial{0};
    namespace fs = std::filesystem;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path p = fs::temp_directory_path() /
                       ("tq8image-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    fs::create_directories(p);
    path_ = p.string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const {
    return (std::filesystem::path(path_) / name).string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> DirectoryEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::string Rec(char type, uint32_t address, int width, const std::vector<uint8_t>& data) {
    static const char kDigits[] = "0123456789ABCDEF";
    auto hex = [](std::string& s, uint32_t b) {
        s += kDigits[(b >> 4) & 0xF];
        s += kDigits[b & 0xF];
    };
    std::string line = "S";
    line += type;
    const uint32_t count = static_cast<uint32_t>(width + data.size() + 1);
    hex(line, count);
    uint32_t sum = count;
    for (int i = width - 1; i >= 0; --i) {
        const uint32_t b = (address >> (8 * i)) & 0xFF;
        hex(line, b);
        sum += b;
    }
    for (uint8_t b : data) {
        hex(line, b);
        sum += b;
    }
    hex(line, (sum & 0xFF) ^ 0xFF);
    return line;
}

std::string Damaged(const std::string& line) {
    std::string out = line;
    char& last = out.back();
    last = last == '0' ? '1' : '0';
    return out;
}

std::string Corrupt(const std::string& line) {
    std::string out = line;
    out[8] = out[8] == '3' ? '4' : '3';
    return out;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t first) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(first + i);
    }
    return v;
}

FaultyFiles::FaultyFiles() {
    gFaults = Faults{};
    platform::CurrentFileCalls().read = FaultyRead;
    platform::CurrentFileCalls().write = FaultyWrite;
    platform::CurrentFileCalls().close = FaultyClose;
}

FaultyFiles::~FaultyFiles() {
    platform::RestoreFileCalls();
}

Faults& FaultyFiles::Get() {
    return gFaults;
}

}  // namespace imagetest
