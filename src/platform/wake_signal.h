#pragma once
// Lets one thread wait for another to change a flag: the waiter wakes as soon as the change
// is told, not at its next look, so a hand-over between threads costs no timer tick.
// (std::atomic::wait would do without a time limit, but the MinGW runtime's loses a wake-up
// that comes between its look at the value and its sleep, and the thread then waits for
// good.)

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class WakeSignal {
  public:
    // Tells every waiter that a flag has changed; call it after the change.
    void Notify() {
        // Taking the lock orders the change before a waiter's look at it: a waiter that
        // looked before sleeps already, and this wakes it.
        { std::lock_guard<std::mutex> lock(mutex_); }
        changed_.notify_all();
    }

    // Waits until holds().
    template <typename Holds>
    void Wait(Holds holds) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, holds);
    }

    // Waits until holds() or ms have passed, and gives what holds() says then.
    template <typename Holds>
    bool WaitFor(uint32_t ms, Holds holds) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), holds);
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace platform
