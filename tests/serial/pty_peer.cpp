#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0 || pipe2(stop_, O_CLOEXEC) != 0) {
        if (master_ >= 0) {
            close(master_);
        }
        master_ = -1;
        return;
    }
    slave_ = name;
    termios tio{};
    tcgetattr(master_, &tio);
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
    thread_ = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
    if (thread_.joinable()) {
        const char byte = 1;
        (void)!write(stop_[1], &byte, 1);
        thread_.join();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (master_ >= 0) {
        close(master_);
    }
    for (int fd : stop_) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void PtyPeer::Expect(size_t after, std::vector<uint8_t> reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back({after, std::move(reply)});
}

void PtyPeer::Send(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (master_ >= 0 && !bytes.empty()) {
        (void)!write(master_, bytes.data(), bytes.size());
    }
}

std::vector<uint8_t> PtyPeer::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool PtyPeer::WaitReceived(size_t count, int ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                             [&] { return received_.size() >= count; });
}

void PtyPeer::Vanish() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

void PtyPeer::Run() {
    for (;;) {
        int fd = -1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            fd = master_;
        }
        pollfd fds[2] = {{stop_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        // While no host has the slave open the master reports a hang-up: look again
        // a little later instead of spinning.
        const int ready = poll(fds, fd >= 0 ? 2 : 1, 5);
        if (ready < 0 || (fds[0].revents & POLLIN) != 0) {
            return;
        }
        if (fd < 0 || (fds[1].revents & POLLIN) == 0) {
            if (fd >= 0 && (fds[1].revents & POLLHUP) != 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            continue;
        }
        uint8_t buffer[512];
        std::unique_lock<std::mutex> lock(mutex_);
        if (master_ < 0) {
            continue;
        }
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            continue;
        }
        received_.insert(received_.end(), buffer, buffer + n);
        while (!script_.empty() && received_.size() - consumed_ >= script_.front().after) {
            consumed_ += script_.front().after;
            const std::vector<uint8_t> reply = std::move(script_.front().reply);
            script_.pop_front();
            if (!reply.empty()) {
                (void)!write(master_, reply.data(), reply.size());
            }
        }
        lock.unlock();
        changed_.notify_all();
    }
}
