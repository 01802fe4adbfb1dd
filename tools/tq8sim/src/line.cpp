#include "line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "transcript.h"

namespace tq8sim {
namespace {

struct RateEntry {
    uint32_t rate;
    speed_t speed;
};

constexpr std::array<RateEntry, 9> kRates{{{1200, B1200},
                                           {2400, B2400},
                                           {4800, B4800},
                                           {9600, B9600},
                                           {19200, B19200},
                                           {38400, B38400},
                                           {57600, B57600},
                                           {115200, B115200},
                                           {230400, B230400}}};

speed_t SpeedOf(uint32_t rate) {
    for (const auto& entry : kRates) {
        if (entry.rate == rate) {
            return entry.speed;
        }
    }
    return B9600;
}

uint32_t RateOf(speed_t speed) {
    for (const auto& entry : kRates) {
        if (entry.speed == speed) {
            return entry.rate;
        }
    }
    return 0;
}

constexpr uint64_t kNsPerMs = 1000000;
// How often a line without a host is looked at again: reads on a pty master fail with
// EIO while the host has the slave closed, e.g. while it reopens at another rate.
constexpr uint64_t kNoHostRetryNs = 5 * kNsPerMs;
constexpr uint64_t kSpinNs = 200 * 1000;

bool ConfigureRaw(int fd, uint32_t rate) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, SpeedOf(rate));
    cfsetospeed(&tio, SpeedOf(rate));
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// The pty's own round trip as a host meets it: a byte to a thread on the slave that
// sends it straight back, after a pause as between two blocks (both sides asleep, as a
// host waiting for an answer is), the middle of several tries. What every host pays on
// this line and a wire would not have; a reply quicker than that is still never dated
// before the answer it follows. Measured on the pty's own slave before a host opens it;
// 0 when that does not work.
uint64_t TypicalRoundTrip(int master, const char* slavePath) {
    const int slave = open(slavePath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        return 0;
    }
    constexpr uint8_t kDone = 1;
    std::thread echo([slave] {
        for (;;) {
            pollfd ready{slave, POLLIN, 0};
            uint8_t byte = 0;
            if (poll(&ready, 1, 200) != 1 || read(slave, &byte, 1) != 1 || byte == kDone ||
                write(slave, &byte, 1) != 1) {
                return;
            }
        }
    });
    std::vector<uint64_t> tries;
    for (int i = 0; i < 15; ++i) {
        // About a block's time at 38400 baud: long enough for both sides to fall asleep.
        const timespec pause{0, 10 * static_cast<long>(kNsPerMs)};
        nanosleep(&pause, nullptr);
        const uint8_t probe = 0;
        const uint64_t sent = MonotonicNs();
        pollfd ready{master, POLLIN, 0};
        uint8_t byte = 0;
        if (write(master, &probe, 1) != 1 || poll(&ready, 1, 200) != 1 ||
            read(master, &byte, 1) != 1) {
            break;
        }
        tries.push_back(MonotonicNs() - sent);
    }
    [[maybe_unused]] const ssize_t written = write(master, &kDone, 1);
    echo.join();
    close(slave);
    if (tries.empty()) {
        return 0;
    }
    std::nth_element(tries.begin(), tries.begin() + tries.size() / 2, tries.end());
    return tries[tries.size() / 2];
}

}  // namespace

bool IsSupportedRate(uint32_t rate) {
    return std::any_of(kRates.begin(), kRates.end(),
                       [rate](const RateEntry& entry) { return entry.rate == rate; });
}

uint8_t GarbleByte(uint8_t byte) {
    return static_cast<uint8_t>(0x80 | ((byte * 37u + 0x5Bu) & 0x7Fu));
}

uint64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

Line::Line() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        stopRead_ = fds[0];
        stopWrite_ = fds[1];
    }
}

Line::~Line() {
    Close();
    if (stopRead_ >= 0) {
        close(stopRead_);
    }
    if (stopWrite_ >= 0) {
        close(stopWrite_);
    }
}

bool Line::OpenPty(uint32_t rate, std::string* slavePath, std::string* error) {
    Close();
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    char name[128] = {};
    if (ptsname_r(fd, name, sizeof name) != 0) {
        *error = std::string("ptsname: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    // On a pty master the termios calls reach the slave: start it raw (no echo, no
    // line editing) at the machine's rate, so a host that only sets the rate still works.
    if (!ConfigureRaw(fd, rate)) {
        *error = std::string("cannot configure the pseudo-terminal: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    // Only a paced line dates replies back; the others need not wait for the measurement.
    const uint64_t roundTrip = pace_ ? TypicalRoundTrip(fd, name) : 0;
    std::lock_guard lock(fdMutex_);
    fd_ = fd;
    isPty_ = true;
    ptyRoundTrip_ = roundTrip;
    machineRate_ = rate;
    *slavePath = name;
    return true;
}

bool Line::OpenDevice(const std::string& path, uint32_t rate, std::string* error) {
    Close();
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (isatty(fd) && !ConfigureRaw(fd, rate)) {
        *error = "cannot configure " + path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    std::lock_guard lock(fdMutex_);
    fd_ = fd;
    isPty_ = false;
    ptyRoundTrip_ = 0;
    machineRate_ = rate;
    return true;
}

bool Line::IsOpen() const {
    std::lock_guard lock(fdMutex_);
    return fd_ >= 0;
}

void Line::Close() {
    std::lock_guard lock(fdMutex_);
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    incoming_.clear();
}

void Line::RequestStop() {
    const uint8_t byte = 1;
    [[maybe_unused]] const ssize_t written = write(stopWrite_, &byte, 1);
}

void Line::ResetStop() {
    uint8_t buffer[64];
    while (read(stopRead_, buffer, sizeof buffer) > 0) {
    }
}

void Line::SetMachineRate(uint32_t rate) {
    machineRate_ = rate;
    std::lock_guard lock(fdMutex_);
    if (fd_ >= 0 && !isPty_ && isatty(fd_)) {
        // A real port changes its own rate; on a pty the host's setting is what counts.
        tcdrain(fd_);
        ConfigureRaw(fd_, rate);
    }
}

uint32_t Line::HostRate() const {
    std::lock_guard lock(fdMutex_);
    if (fd_ < 0 || !isPty_) {
        return 0;
    }
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) {
        return 0;
    }
    return RateOf(cfgetospeed(&tio));
}

uint64_t Line::LineNow() const {
    return MonotonicNs() - slip_;
}

uint64_t Line::ReplyCredit() {
    if (!pace_) {
        return 0;
    }
    if (awaitingReply_) {
        // Never more than the time since the answer left, so a reply is never dated
        // before the answer it follows.
        awaitingReply_ = false;
        credit_ = std::min(ptyRoundTrip_, MonotonicNs() - answerSent_);
    }
    return credit_;
}

uint64_t Line::ByteNs() const {
    // 8N1: start bit, eight data bits, stop bit.
    return 10ull * 1000000000ull / std::max<uint32_t>(machineRate_.load(), 1);
}

bool Line::Mismatched(const char* direction) {
    const uint32_t host = HostRate();
    const bool mismatched = host != 0 && host != machineRate_;
    if (mismatched != reportedMismatch_) {
        reportedMismatch_ = mismatched;
        if (note_) {
            note_(mismatched ? Format("LINE garbled %s host=%u machine=%u", direction, host,
                                      machineRate_.load())
                             : Format("LINE clear host=%u machine=%u", host, machineRate_.load()));
        }
    }
    return mismatched;
}

bool Line::SleepUntil(uint64_t deadline) {
    for (;;) {
        const uint64_t now = MonotonicNs();
        if (now >= deadline) {
            return true;
        }
        const uint64_t left = deadline - now;
        if (left > 2 * kNsPerMs) {
            // Long waits (erasing) listen for Stop(); the last stretch is slept exactly.
            pollfd stop{stopRead_, POLLIN, 0};
            if (poll(&stop, 1, static_cast<int>((left - kNsPerMs) / kNsPerMs)) > 0) {
                return false;
            }
            continue;
        }
        if (left > kSpinNs) {
            const uint64_t wake = deadline - kSpinNs;
            timespec until{static_cast<time_t>(wake / 1000000000ull),
                           static_cast<long>(wake % 1000000000ull)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
            continue;
        }
        // A timer wake-up comes tens of microseconds late, more on a busy machine; the
        // last stretch is spun so paced bytes leave on time.
        while (MonotonicNs() < deadline) {
        }
        return true;
    }
}

Line::Status Line::Fill(uint64_t deadline) {
    for (;;) {
        int fd;
        {
            std::lock_guard lock(fdMutex_);
            fd = fd_;
        }
        if (fd < 0) {
            return Status::kGone;
        }
        const uint64_t now = MonotonicNs();
        if (now >= deadline) {
            return Status::kTimeout;
        }
        const uint64_t left = deadline - now;
        const int timeoutMs =
            deadline == UINT64_MAX
                ? -1
                : static_cast<int>(std::min<uint64_t>((left + kNsPerMs - 1) / kNsPerMs, 60000));
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopRead_, POLLIN, 0}};
        const int ready = poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            return Failed(errno);
        }
        if (fds[1].revents & POLLIN) {
            return Status::kStopped;
        }
        if (ready <= 0) {
            continue;
        }
        if (fds[0].revents & POLLNVAL) {
            return Failed(EBADF);
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            uint8_t buffer[4096];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                const uint64_t arrival = LineNow() - ReplyCredit();
                const bool garble = Mismatched("in");
                for (ssize_t i = 0; i < n; ++i) {
                    incoming_.push_back({garble ? GarbleByte(buffer[i]) : buffer[i], arrival});
                }
                return Status::kOk;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            // No host on the line (EIO on a pty master whose slave is closed, or end of
            // file on a device): wait for it to come back, never give up.
            const uint64_t retry = std::min(deadline, MonotonicNs() + kNoHostRetryNs);
            if (!SleepUntil(retry)) {
                return Status::kStopped;
            }
        }
    }
}

Line::Status Line::Failed(int error) {
    // The machine stops serving: its transcript says why, not only that it went quiet.
    if (note_) {
        note_(Format("LINE error %s", std::strerror(error)));
    }
    return Status::kGone;
}

Line::Status Line::Read(uint8_t* out, size_t count, int gapMs, size_t* got) {
    *got = 0;
    auto nextDeadline = [gapMs] {
        return gapMs < 0 ? UINT64_MAX : MonotonicNs() + static_cast<uint64_t>(gapMs) * kNsPerMs;
    };
    uint64_t deadline = nextDeadline();
    while (*got < count) {
        if (incoming_.empty()) {
            const Status status = Fill(deadline);
            if (status != Status::kOk) {
                return status;
            }
            deadline = nextDeadline();
            continue;
        }
        const Incoming next = incoming_.front();
        incoming_.pop_front();
        out[(*got)++] = next.byte;
        // A byte is there only once it has crossed the wire, one after the other.
        inFree_ = pace_ ? std::max(next.arrival, inFree_) + ByteNs() : next.arrival;
    }
    machineTime_ = std::max(machineTime_, inFree_);
    return Status::kOk;
}

bool Line::InputPending() {
    if (!incoming_.empty()) {
        return true;
    }
    std::lock_guard lock(fdMutex_);
    if (fd_ < 0) {
        return false;
    }
    pollfd fds{fd_, POLLIN, 0};
    return poll(&fds, 1, 0) > 0 && (fds.revents & POLLIN);
}

void Line::Busy(uint64_t ns) {
    machineTime_ = std::max(machineTime_, LineNow()) + ns;
}

bool Line::WaitIdle() {
    return SleepUntil(machineTime_);
}

void Line::Write(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    uint64_t done = std::max(LineNow(), machineTime_);
    if (pace_) {
        done = std::max(done, outFree_) + bytes.size() * ByteNs();
    }
    if (!SleepUntil(done)) {
        return;
    }
    outFree_ = done;
    machineTime_ = done;
    if (pace_) {
        slip_ = MonotonicNs() - done;
    }
    answerSent_ = MonotonicNs();
    awaitingReply_ = true;
    std::vector<uint8_t> wire(bytes.begin(), bytes.end());
    if (Mismatched("out")) {
        std::transform(wire.begin(), wire.end(), wire.begin(), GarbleByte);
    }
    std::lock_guard lock(fdMutex_);
    size_t sent = 0;
    const uint64_t giveUp = MonotonicNs() + 1000 * kNsPerMs;
    while (fd_ >= 0 && sent < wire.size()) {
        const ssize_t n = write(fd_, wire.data() + sent, wire.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EAGAIN && MonotonicNs() < giveUp) {
            // The host does not read; wait a little for room, then drop the rest.
            pollfd out{fd_, POLLOUT, 0};
            poll(&out, 1, 10);
            continue;
        }
        break;  // no host on the line: what the machine says is lost, as on a cable
    }
}

}  // namespace tq8sim
