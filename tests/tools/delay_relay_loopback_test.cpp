// The relay on loopback between a test client and a small echo server, every wait bounded.
#include "tools/delay_relay/relay_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tarrow::relay {
namespace {

constexpr int kWaitBoundS = 5;

int boundedSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{kWaitBoundS, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return fd;
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Echoes every byte of one connection at a time; closes after the peer's half close.
class EchoServer {
public:
    EchoServer() {
        fd_ = boundedSocket();
        const sockaddr_in a = loopback(0);
        bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        listen(fd_, 8);
        sockaddr_in b{};
        socklen_t len = sizeof b;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&b), &len);
        port_ = ntohs(b.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                const int c = accept(fd_, nullptr, nullptr);  // bounded by SO_RCVTIMEO
                if (c < 0) continue;
                char buf[4096];
                for (ssize_t n; (n = recv(c, buf, sizeof buf, 0)) > 0;)
                    send(c, buf, static_cast<size_t>(n), 0);
                close(c);
            }
        });
    }
    ~EchoServer() {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        thread_.join();
        close(fd_);
    }
    std::uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class RunningRelay {
public:
    RunningRelay(std::uint16_t targetPort, std::int64_t delayMs) : server_(options(targetPort, delayMs)) {
        std::string error;
        opened_ = server_.open(error);
        EXPECT_TRUE(opened_) << error;
        if (opened_) thread_ = std::thread([this] { server_.run(stop_); });
    }
    ~RunningRelay() {
        stop_ = 1;
        if (thread_.joinable()) thread_.join();
    }
    std::uint16_t port() const { return server_.listenPort(); }
    const RelayCounts& counts() const { return server_.counts(); }

private:
    static RelayOptions options(std::uint16_t targetPort, std::int64_t delayMs) {
        RelayOptions o;
        o.listen = {"127.0.0.1", 0};
        o.target = {"127.0.0.1", targetPort};
        o.delayMs = delayMs;
        o.connectTimeoutMs = 1000;
        return o;
    }
    RelayServer server_;
    bool opened_ = false;
    volatile std::sig_atomic_t stop_ = 0;
    std::thread thread_;
};

int connectTo(std::uint16_t port) {
    const int fd = boundedSocket();
    const sockaddr_in a = loopback(port);
    EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    return fd;
}

std::string receiveAll(int fd, std::size_t want) {
    std::string got;
    char buf[4096];
    while (got.size() < want) {
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

TEST(DelayRelayLoopback, EachRoundTripTakesAtLeastTheDelayAndBytesPassUnchanged) {
    EchoServer echo;
    RunningRelay relay(echo.port(), 50);
    const int fd = connectTo(relay.port());
    std::string message(100'000, '\0');
    for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 7);
    for (int round = 0; round < 2; ++round) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(send(fd, message.data(), message.size(), 0), static_cast<ssize_t>(message.size()));
        EXPECT_EQ(receiveAll(fd, message.size()), message);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50)) << "round " << round;
    }
    // Our half close reaches the server (it closes), and its close comes back as the end.
    shutdown(fd, SHUT_WR);
    char byte;
    EXPECT_EQ(recv(fd, &byte, 1, 0), 0);
    close(fd);
}

TEST(DelayRelayLoopback, ATargetThatIsNotThereClosesTheClientSoon) {
    std::uint16_t deadPort;
    {
        EchoServer gone;  // a port that was just free, and is free again
        deadPort = gone.port();
    }
    RunningRelay relay(deadPort, 0);
    const int fd = connectTo(relay.port());
    char byte;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LE(recv(fd, &byte, 1, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(kWaitBoundS));
    close(fd);
}

}  // namespace
}  // namespace tarrow::relay
