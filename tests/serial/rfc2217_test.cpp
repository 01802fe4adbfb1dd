// Network ports through the serial service, against a small RFC 2217 server in the test
// (libtelnet on its side too): what the server does not confirm fails, bytes cross both
// ways with 0xFF doubled, and the event wait of another thread sees them (run under TSan).

#include <gtest/gtest.h>
#include <libtelnet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/network_port.h"
#include "platform/posix/rfc2217_transport.h"
#include "platform/posix/telnet_session.h"
#include "platform/serial.h"

namespace {

using namespace platform;

// Answers every COM-PORT request with its value, except a rate of refusedRate, which it
// answers with 9600; sends back every data byte it receives.
class Server {
  public:
    explicit Server(uint32_t refusedRate) : refusedRate_(refusedRate) {
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), size);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
        name_ = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
        thread_ = std::thread([this] { Serve(); });
    }
    ~Server() {
        ::shutdown(listener_, SHUT_RDWR);  // ends an accept still waiting
        thread_.join();
        ::close(listener_);
    }
    const std::string& Name() const { return name_; }

  private:
    static void OnEvent(telnet_t* t, telnet_event_t* e, void* self) {
        auto& server = *static_cast<Server*>(self);
        if (e->type == TELNET_EV_SEND) {
            (void)::send(server.peer_, e->data.buffer, e->data.size, MSG_NOSIGNAL);
        } else if (e->type == TELNET_EV_DATA) {
            telnet_send(t, e->data.buffer, e->data.size);
        } else if (e->type == TELNET_EV_SUBNEGOTIATION && e->sub.size > 0) {
            std::vector<uint8_t> answer(e->sub.buffer, e->sub.buffer + e->sub.size);
            const uint8_t refused[] = {1, 0, 0, static_cast<uint8_t>(server.refusedRate_ >> 8),
                                       static_cast<uint8_t>(server.refusedRate_)};
            if (std::equal(answer.begin(), answer.end(), refused, refused + 5)) {
                answer = {1, 0, 0, 0x25, 0x80};  // 9600
            }
            answer[0] += 100;
            telnet_subnegotiation(t, 44, reinterpret_cast<const char*>(answer.data()),
                                  answer.size());
        }
    }
    void Serve() {
        static const telnet_telopt_t options[] = {
            {0, TELNET_WILL, TELNET_DO}, {44, TELNET_WONT, TELNET_DO}, {-1, 0, 0}};
        peer_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer_ < 0) {
            return;
        }
        telnet_t* t = telnet_init(options, OnEvent, 0, this);
        telnet_negotiate(t, TELNET_DO, 44);
        char buffer[256];
        ssize_t n = 0;
        while ((n = ::recv(peer_, buffer, sizeof buffer, 0)) > 0) {
            telnet_recv(t, buffer, static_cast<size_t>(n));
        }
        telnet_free(t);
        ::close(peer_);
    }

    uint32_t refusedRate_;
    int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int peer_ = -1;
    std::string name_;
    std::thread thread_;
};

bool SetLine(SerialHandle h, const char* mode) {
    DeviceControl dcb;
    return SerialBuildDeviceControl(mode, dcb) && SerialSetState(h, dcb);
}

TEST(Rfc2217Port, ARateTheServerDoesNotConfirmFailsTheSwitch) {
    Server server(38400);
    const SerialHandle h = SerialOpen(server.Name());
    ASSERT_NE(h, kInvalidSerialHandle) << SystemMessage(LastError());
    EXPECT_TRUE(SetLine(h, "baud=9600 parity=N data=8 stop=1"));
    EXPECT_FALSE(SetLine(h, "baud=38400 parity=N data=8 stop=1"));
    EXPECT_EQ(LastError(), kErrorLineNotConfirmed);
    EXPECT_TRUE(SerialClose(h));
}

TEST(Rfc2217Port, BytesCrossBothWaysAndTheEventWaitSeesThem) {
    Server server(0);
    const SerialHandle h = SerialOpen(server.Name());
    ASSERT_NE(h, kInvalidSerialHandle) << SystemMessage(LastError());
    ASSERT_TRUE(SetLine(h, "baud=38400 parity=E data=7 stop=2"));
    ASSERT_TRUE(SerialSetEventMask(h, kEvRxChar));
    std::atomic<uint32_t> seen{0};
    std::thread watcher([&] {
        uint32_t events = 0;
        while (SerialWaitEvent(h, events)) {
            seen |= events;
        }
    });
    SerialOverlapped ov;
    ASSERT_TRUE(SerialCreateOverlapped(ov, true));
    const std::vector<uint8_t> sent = {0x11, 0xFF, 0x00, 0xFF, 0xFF, 0x0D, 0x0A, 0x06};
    ASSERT_TRUE(SerialWrite(h, ov, sent.data(), static_cast<uint32_t>(sent.size())));
    ASSERT_EQ(SerialWaitData(h, static_cast<uint32_t>(sent.size()), 3000, -1),
              SerialWaitResult::Data);
    std::vector<uint8_t> got(sent.size() + 4);
    uint32_t read = 0;
    ASSERT_TRUE(SerialRead(h, ov, got.data(), static_cast<uint32_t>(got.size()), read));
    got.resize(read);
    EXPECT_EQ(got, sent);

    // The server sends the echo before the purge's confirmation: it was on its way and
    // must not be left in the queue.
    ASSERT_TRUE(SerialWrite(h, ov, sent.data(), 3));
    ASSERT_TRUE(SerialPurge(h, kPurgeRxAbort | kPurgeRxClear));
    SerialStatus status;
    ASSERT_TRUE(SerialClearError(h, status));
    EXPECT_EQ(status.inQueue, 0u);

    EXPECT_TRUE(SerialClose(h));  // ends the watcher's wait
    watcher.join();
    EXPECT_NE(seen.load() & kEvRxChar, 0u);
    SerialCloseOverlapped(ov);
}

// A server whose every byte the test writes; the transport owns the other end.
struct RawServer {
    int fds[2] = {-1, -1};
    RawServer() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds); }
    ~RawServer() { ::close(fds[1]); }
    void Send(const std::vector<uint8_t>& bytes) {
        (void)::send(fds[1], bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
};

TEST(Rfc2217Port, APlainRefusalOfTheOptionEndsTheWaitAtOnce) {
    for (const uint8_t refusal : {TELNET_DONT, TELNET_WONT}) {
        RawServer server;
        server.Send({TELNET_IAC, refusal, 44});
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(AttachRfc2217(server.fds[0], 3000), nullptr);
        EXPECT_EQ(LastError(), kErrorNoComPortOption);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

TEST(Rfc2217Port, AStreamNoSerialLineCarriesEndsTheConnectionAndNothingOfItIsRead) {
    const std::vector<uint8_t> streams[] = {
        {TELNET_IAC, TELNET_SB, 44, 101, TELNET_IAC, 'x', 'A', 'T', 'Z'},
        // An unrequested switch to compression, then "hello" compressed.
        {TELNET_IAC, TELNET_SB, 86, TELNET_IAC, TELNET_SE, 120, 156, 203, 72, 205, 201, 201, 7, 0,
         6, 44, 2, 21},
        std::vector<uint8_t>(2 * kMaxQueuedData, 'U'),  // more than a line brings between reads
    };
    for (const auto& stream : streams) {
        RawServer server;
        server.Send({TELNET_IAC, TELNET_DO, 44});
        auto line = AttachRfc2217(server.fds[0], 3000);
        ASSERT_NE(line, nullptr);
        std::thread sender([&] { server.Send(stream); });
        uint32_t queued = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (line->Queued(queued) && std::chrono::steady_clock::now() < deadline) {
            pollfd p{line->Fd(), POLLIN, 0};
            ::poll(&p, 1, 100);
        }
        EXPECT_EQ(LastError(), kErrorServerStreamBroken) << stream.size() << " bytes";
        EXPECT_FALSE(line->Queued(queued));
        line.reset();  // ends a send still under way
        sender.join();
    }
}

TEST(Rfc2217Port, NamesThatAreNoAddressAreRefused) {
    for (const char* name : {"rfc2217://", "rfc2217://host", "rfc2217://host:0",
                             "rfc2217://host:65536", "rfc2217://:2217", "rfc2217://[::1]2217"}) {
        EXPECT_EQ(SerialOpen(name), kInvalidSerialHandle) << name;
        EXPECT_EQ(LastError(), kErrorNetworkPortName) << name;
    }
}

}  // namespace
