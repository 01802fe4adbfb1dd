#pragma once
// Waiting on a network client library's socket, so that its non-blocking calls can be held
// to a time limit of our own (Linux only: the record server's client).

namespace platform {

struct SocketReadiness {
    bool readable = false;
    bool writable = false;
    bool timedOut = false;
    bool failed = false;
};

// Waits until fd can be read (read) or written (write), at most timeoutMs; a negative
// timeout waits without a limit.
SocketReadiness WaitForSocket(int fd, bool read, bool write, int timeoutMs);

}  // namespace platform
