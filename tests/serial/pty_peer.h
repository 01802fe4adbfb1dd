#pragma once
// The far end of a pseudo-terminal for tests: records every byte the host writes and
// answers from a script, on its own thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtyPeer {
  public:
    PtyPeer();  // opens the pty; Ok() tells whether that worked
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slave_; }

    // When the host has written `after` more bytes, send `reply` (which may be empty:
    // silence). Answers are used in order.
    void Expect(size_t after, std::vector<uint8_t> reply);
    // Sends bytes to the host now.
    void Send(const std::vector<uint8_t>& bytes);
    // Everything the host wrote so far.
    std::vector<uint8_t> Received() const;
    // Waits until the host has written at least count bytes (false after ms).
    bool WaitReceived(size_t count, int ms) const;
    // Closes the master: the host's device has gone.
    void Vanish();

  private:
    void Run();

    int master_ = -1;
    int stop_[2] = {-1, -1};
    std::string slave_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<uint8_t> received_;
    struct Answer {
        size_t after;
        std::vector<uint8_t> reply;
    };
    std::deque<Answer> script_;
    size_t consumed_ = 0;
    std::thread thread_;
};
