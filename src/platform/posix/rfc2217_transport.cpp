// RFC 2217 over TCP. No thread of its own: whoever asks (the port's owner, its event
// wait) takes in what the socket holds, under the transport's lock, and waits on the
// socket without it. Every wait for the server ends at its deadline.

#include "platform/posix/rfc2217_transport.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/network_port.h"
#include "platform/posix/telnet_session.h"
#include "platform/posix/unique_fd.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// A telnet server opens the negotiation as soon as it accepts; a plain TCP server says
// nothing, or passes on what the line says.
constexpr uint32_t kFirstWordMs = 200;

// What one call takes from the socket at most: the lock is held while it is taken in, and
// a server that sends without pause must not keep the port's other thread waiting for it.
constexpr size_t kTakenPerCall = 64 * 1024;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<int64_t>(left, 0));
}

void PutBigEndian(uint32_t value, uint8_t* out) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

class Rfc2217Transport final : public SerialTransport {
  public:
    Rfc2217Transport(int socket, uint32_t answerMs)
        : socket_(socket),
          arrival_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          answerMs_(answerMs) {}

    bool Negotiate();

    int Fd() const override { return socket_.Get(); }
    int ArrivalFd() const override { return arrival_.Get(); }
    void TakeArrival() override {
        eventfd_t count = 0;
        (void)::eventfd_read(arrival_.Get(), &count);
    }
    bool Queued(uint32_t& count) override;
    bool Gone() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return goneCode_ != 0;
    }
    bool Read(void* buffer, uint32_t count, uint32_t& read) override;
    bool Write(const void* data, uint32_t count) override;
    bool SetLine(const DeviceControl& dcb) override;
    bool GetLine(DeviceControl& dcb) override;
    bool Purge(uint32_t flags) override;
    void Shutdown() override { (void)::shutdown(socket_.Get(), SHUT_RDWR); }

  private:
    struct Request {
        ComPortCommand command;
        uint8_t value[4];
        size_t size;
    };

    // Both under mutex_.
    void TakeIn();
    bool SendOut(Clock::time_point deadline);
    // Takes in and waits until done() holds (true), the line is gone or the deadline
    // passes (false, errno set).
    bool Await(const std::function<bool()>& done, Clock::time_point deadline);
    bool Exchange(const Request* requests, size_t count);
    bool Failed(uint32_t code) {
        errno = static_cast<int>(code);
        return false;
    }

    UniqueFd socket_;
    UniqueFd arrival_;
    const uint32_t answerMs_;
    std::mutex mutex_;
    TelnetSession session_;
    uint32_t goneCode_ = 0;  // why the line is gone; 0 while it works
    DeviceControl line_;
};

void Rfc2217Transport::TakeIn() {
    uint8_t buffer[4096];
    for (size_t taken = 0; goneCode_ == 0 && taken < kTakenPerCall;) {
        const ssize_t n = ::recv(socket_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            taken += static_cast<size_t>(n);
            (void)::eventfd_write(arrival_.Get(), 1);
            session_.Receive(buffer, static_cast<size_t>(n));
            if (session_.Broken()) {
                goneCode_ = kErrorServerStreamBroken;
            }
            continue;
        }
        if (n == 0) {
            (void)::eventfd_write(arrival_.Get(), 1);
            goneCode_ = kErrorServerClosed;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            goneCode_ = static_cast<uint32_t>(errno);
        }
        break;
    }
    // libtelnet answers the server's negotiation by itself.
    if (!session_.Output().empty()) {
        (void)SendOut(Clock::now() + std::chrono::milliseconds(answerMs_));
    }
}

bool Rfc2217Transport::SendOut(Clock::time_point deadline) {
    std::vector<uint8_t>& out = session_.Output();
    size_t sent = 0;
    while (sent < out.size()) {
        if (goneCode_ != 0) {
            out.clear();
            return Failed(goneCode_);
        }
        const ssize_t n = ::send(socket_.Get(), out.data() + sent, out.size() - sent,
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            goneCode_ = errno == EPIPE ? kErrorServerClosed : static_cast<uint32_t>(errno);
            continue;
        }
        // The socket's buffer is full: the server does not take what we send.
        pollfd p{socket_.Get(), POLLOUT, 0};
        if (::poll(&p, 1, RemainingMs(deadline)) == 0) {
            out.erase(out.begin(), out.begin() + static_cast<ptrdiff_t>(sent));
            return Failed(kErrorServerSilent);
        }
    }
    out.clear();
    return true;
}

bool Rfc2217Transport::Await(const std::function<bool()>& done, Clock::time_point deadline) {
    for (;;) {
        TakeArrival();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            TakeIn();
            if (done()) {
                return true;
            }
            if (goneCode_ != 0) {
                return Failed(goneCode_);
            }
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            return Failed(kErrorServerSilent);
        }
        pollfd fds[2] = {{socket_.Get(), POLLIN, 0}, {arrival_.Get(), POLLIN, 0}};
        if (::poll(fds, 2, left) < 0 && errno != EINTR) {
            return false;
        }
    }
}

bool Rfc2217Transport::Negotiate() {
    const auto start = Clock::now();
    {
        pollfd p{socket_.Get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min(kFirstWordMs, answerMs_))) > 0) {
            uint8_t first = 0;
            const ssize_t n = ::recv(socket_.Get(), &first, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n == 0) {
                return Failed(kErrorServerClosed);
            }
            // Serial data before any telnet command: a plain TCP server, to which our
            // negotiation would be bytes on the machine's line.
            if (n == 1 && first != 0xFF) {
                return Failed(kErrorNoComPortOption);
            }
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        session_.Start();
        if (!SendOut(start + std::chrono::milliseconds(answerMs_))) {
            return false;
        }
    }
    const bool answered =
        Await([this] { return session_.ComPortState() != TelnetSession::ComPort::kPending; },
              start + std::chrono::milliseconds(kFirstWordMs + answerMs_));
    if (!answered && errno != static_cast<int>(kErrorServerSilent)) {
        return false;
    }
    // A server that stays silent or declines cannot switch the line rate.
    if (!answered || session_.ComPortState() != TelnetSession::ComPort::kAccepted) {
        return Failed(kErrorNoComPortOption);
    }
    return true;
}

bool Rfc2217Transport::Queued(uint32_t& count) {
    std::lock_guard<std::mutex> lock(mutex_);
    TakeIn();
    count = static_cast<uint32_t>(session_.Data().size());
    if (count == 0 && goneCode_ != 0) {
        return Failed(goneCode_);
    }
    return true;
}

bool Rfc2217Transport::Read(void* buffer, uint32_t count, uint32_t& read) {
    std::lock_guard<std::mutex> lock(mutex_);
    TakeIn();
    std::vector<uint8_t>& data = session_.Data();
    read = static_cast<uint32_t>(std::min<size_t>(count, data.size()));
    if (read == 0 && count > 0 && goneCode_ != 0) {
        return Failed(goneCode_);
    }
    std::copy_n(data.begin(), read, static_cast<uint8_t*>(buffer));
    data.erase(data.begin(), data.begin() + read);
    return true;
}

bool Rfc2217Transport::Write(const void* data, uint32_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    TakeIn();
    if (goneCode_ != 0) {
        return Failed(goneCode_);
    }
    session_.SendData(static_cast<const uint8_t*>(data), count);
    // The socket's buffer takes a command or a block at once; a server that stops taking
    // bytes holds the write for as long as a write may be in flight.
    return SendOut(Clock::now() + std::chrono::milliseconds(answerMs_));
}

bool Rfc2217Transport::Exchange(const Request* requests, size_t count) {
    uint32_t before[4] = {};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 0; i < count; ++i) {
            before[i] = session_.AnswerTo(requests[i].command).count;
            session_.SendRequest(requests[i].command, requests[i].value, requests[i].size);
        }
        if (!SendOut(Clock::now() + std::chrono::milliseconds(answerMs_))) {
            return false;
        }
    }
    // The requests went out together: one round trip for all of them.
    const auto answered = [&] {
        for (size_t i = 0; i < count; ++i) {
            if (session_.AnswerTo(requests[i].command).count == before[i]) {
                return false;
            }
        }
        return true;
    };
    if (!Await(answered, Clock::now() + std::chrono::milliseconds(answerMs_))) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < count; ++i) {
        const auto& value = session_.AnswerTo(requests[i].command).value;
        if (!std::equal(value.begin(), value.end(), requests[i].value,
                        requests[i].value + requests[i].size)) {
            return Failed(kErrorLineNotConfirmed);
        }
    }
    return true;
}

bool Rfc2217Transport::SetLine(const DeviceControl& dcb) {
    // The option's values: parity none, odd, even, mark, space from 1; stop bits 1, 2, 1.5.
    static constexpr uint8_t kStopSize[] = {1, 3, 2};
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpaceParity ||
        dcb.StopBits > kTwoStopBits) {
        return Failed(static_cast<uint32_t>(EINVAL));
    }
    Request requests[4] = {
        {ComPortCommand::kSetBaudRate, {}, 4},
        {ComPortCommand::kSetDataSize, {dcb.ByteSize}, 1},
        {ComPortCommand::kSetParity, {static_cast<uint8_t>(dcb.Parity + 1)}, 1},
        {ComPortCommand::kSetStopSize, {kStopSize[dcb.StopBits]}, 1},
    };
    PutBigEndian(dcb.BaudRate, requests[0].value);
    if (!Exchange(requests, 4)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    line_ = dcb;
    return true;
}

bool Rfc2217Transport::GetLine(DeviceControl& dcb) {
    std::lock_guard<std::mutex> lock(mutex_);
    dcb = line_;
    return true;
}

bool Rfc2217Transport::Purge(uint32_t flags) {
    const bool receive = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool transmit = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (!receive && !transmit) {
        return true;
    }
    const uint8_t which =
        (receive ? kPurgeServerReceive : 0) | (transmit ? kPurgeServerTransmit : 0);
    if (receive) {
        std::lock_guard<std::mutex> lock(mutex_);
        TakeIn();
        session_.Data().clear();
    }
    const Request request{ComPortCommand::kPurgeData, {which}, 1};
    return Exchange(&request, 1);
}

using AddressList = std::unique_ptr<addrinfo, void (*)(addrinfo*)>;

// getaddrinfo has no time limit of its own, and a resolver that gets no answer tries for
// half a minute. The lookup runs on a thread of its own that nobody waits for past the
// limit; it ends by itself and frees what it found when nobody wants it any more.
AddressList LookUp(const NetworkAddress& address, uint32_t limitMs, uint32_t& error) {
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        int result = 0;
        addrinfo* found = nullptr;
        ~Lookup() {
            if (found != nullptr) {
                ::freeaddrinfo(found);
            }
        }
    };
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host = address.host, port = address.port] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            const int result = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
            std::lock_guard<std::mutex> lock(lookup->mutex);
            lookup->result = result;
            lookup->found = found;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        error = static_cast<uint32_t>(EAGAIN);
        return {nullptr, ::freeaddrinfo};
    }
    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(limitMs),
                               [&] { return lookup->finished; })) {
        error = kErrorHostLookupSlow;
        return {nullptr, ::freeaddrinfo};
    }
    if (lookup->result != 0) {
        error = kErrorNetworkHostUnknown;
        return {nullptr, ::freeaddrinfo};
    }
    return {std::exchange(lookup->found, nullptr), ::freeaddrinfo};
}

int ConnectSocket(const addrinfo& address, int timeoutMs) {
    UniqueFd fd(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                         address.ai_protocol));
    if (!fd) {
        return -1;
    }
    if (::connect(fd.Get(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            return -1;
        }
        pollfd p{fd.Get(), POLLOUT, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready <= 0) {
            errno = ready == 0 ? ETIMEDOUT : errno;
            return -1;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
            return -1;
        }
        if (error != 0) {
            errno = error;
            return -1;
        }
    }
    // Every block waits for its answer: nothing may sit in the socket waiting for more.
    const int on = 1;
    (void)::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd.Release();
}

}  // namespace

std::unique_ptr<SerialTransport> AttachRfc2217(int socket, uint32_t answerMs) {
    auto transport = std::make_unique<Rfc2217Transport>(socket, answerMs);
    if (transport->ArrivalFd() < 0 || !transport->Negotiate()) {
        const int code = errno;
        transport.reset();
        errno = code;
        return nullptr;
    }
    return transport;
}

std::unique_ptr<SerialTransport> ConnectRfc2217(const std::string& name) {
    NetworkAddress address;
    if (!ParseNetworkPortName(name, address)) {
        errno = static_cast<int>(kErrorNetworkPortName);
        return nullptr;
    }
    uint32_t lookupError = 0;
    const AddressList list = LookUp(address, kServerAnswerMs, lookupError);
    if (!list) {
        errno = static_cast<int>(lookupError);
        return nullptr;
    }
    int error = ECONNREFUSED;
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        const int fd = ConnectSocket(*a, static_cast<int>(kServerAnswerMs));
        if (fd >= 0) {
            return AttachRfc2217(fd, kServerAnswerMs);
        }
        error = errno;
    }
    errno = error;
    return nullptr;
}

}  // namespace platform
