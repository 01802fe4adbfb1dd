#include "raw_host.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace tq8sim_test {
namespace {

speed_t Speed(uint32_t rate) {
    switch (rate) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 115200:
            return B115200;
        default:
            return B4800;
    }
}

std::string OpenPty(tq8sim::Simulator& simulator) {
    simulator.CreatePty();
    simulator.Start();
    return simulator.DevicePath();
}

}  // namespace

RawHost::RawHost(std::string path, uint32_t rate) : path_(std::move(path)) {
    Open(rate);
}

RawHost::~RawHost() {
    Close();
}

bool RawHost::Open(uint32_t rate) {
    Close();
    fd_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        return false;
    }
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, Speed(rate));
    cfsetospeed(&tio, Speed(rate));
    tcsetattr(fd_, TCSANOW, &tio);
    return true;
}

void RawHost::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool RawHost::Send(const Bytes& bytes) {
    return fd_ >= 0 && write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

Bytes RawHost::Receive(size_t count, int timeoutMs) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0 && out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd fds{fd_, POLLIN, 0};
        if (poll(&fds, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        if (!(fds.revents & POLLIN)) {
            break;  // hang-up with nothing to read
        }
        uint8_t buffer[256];
        const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
        if (n <= 0) {
            break;
        }
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

bool RawHost::LineGone(int timeoutMs) {
    pollfd fds{fd_, POLLIN, 0};
    if (poll(&fds, 1, timeoutMs) <= 0) {
        return false;
    }
    uint8_t byte;
    return (fds.revents & (POLLHUP | POLLERR)) != 0 || read(fd_, &byte, 1) <= 0;
}

Bytes Frame(uint16_t code) {
    return Concat({{0x11}, WordBytes(code)});
}

Bytes WordBytes(uint16_t value) {
    return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

Bytes DWordBytes(uint32_t value) {
    return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

uint32_t DWordAt(const Bytes& bytes, size_t at) {
    return (static_cast<uint32_t>(bytes.at(at)) << 24) |
           (static_cast<uint32_t>(bytes.at(at + 1)) << 16) |
           (static_cast<uint32_t>(bytes.at(at + 2)) << 8) | bytes.at(at + 3);
}

tq8sim::Options FastOptions() {
    tq8sim::Options options;
    options.eraseMsPerKiB = 0;
    options.programUsPerBlock = 0;
    options.downloadGapMs = 300;
    return options;
}

bool WaitForLine(const tq8sim::Simulator& simulator, const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        for (const std::string& line : simulator.Transcript()) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

Rig::Rig(tq8sim::Options options) : simulator(options), host(OpenPty(simulator), 9600) {}

Bytes Download(RawHost& host, uint32_t start, const Bytes& data, bool correctTrailer,
               int startLimitMs) {
    Bytes answers = host.Exchange(Frame(7), 1);
    if (answers != Bytes{0x06}) {
        return answers;
    }
    const uint32_t end = start + static_cast<uint32_t>(data.size()) - 1;
    const Bytes startAnswer =
        host.Exchange(Concat({DWordBytes(tq8sim::kGuardCode), DWordBytes(start), DWordBytes(end)}),
                      1, startLimitMs);
    answers.insert(answers.end(), startAnswer.begin(), startAnswer.end());
    if (startAnswer != Bytes{0x06}) {
        return answers;
    }
    uint8_t xorValue = 0;
    uint32_t sum = 0;
    for (size_t offset = 0; offset < data.size(); offset += 32) {
        const Bytes block(data.begin() + offset, data.begin() + offset + 32);
        for (const uint8_t byte : block) {
            xorValue ^= byte;
            sum += byte;
        }
        // A block left unacknowledged costs the whole limit: shorter than for other
        // answers, still far beyond a block's time on a busy runner.
        const Bytes ack = host.Exchange(block, 1, 2000);
        answers.insert(answers.end(), ack.begin(), ack.end());
        if (ack != Bytes{0x06}) {
            return answers;
        }
    }
    if (!correctTrailer) {
        sum += 1;
    }
    const Bytes last = host.Exchange(Concat({{xorValue}, DWordBytes(sum)}), 1);
    answers.insert(answers.end(), last.begin(), last.end());
    return answers;
}

}  // namespace tq8sim_test
