// A hostile peer for the fault tests, on 127.0.0.1 only: garbage and 64 KiB datagrams,
// connections that send garbage, close their sending side at once, or never read, and a
// controller that answers discovery and then only sends garbage. Every mode ends by itself.
//
//   fault_peer udp PORT COUNT                      COUNT datagrams, garbage, up to 65507 bytes
//   fault_peer tcp-garbage PORT COUNT              COUNT connections, each 64 KiB of garbage, closed
//   fault_peer tcp-half-open PORT COUNT SECONDS    COUNT connections, sending side shut at once
//   fault_peer tcp-no-read PORT COUNT SECONDS [TEXT]  COUNT connections that send TEXT, never read
//   fault_peer fake-controller PORT ANSWER_PORT SECONDS
//       listens on TCP PORT, sends "DISCOVER" to UDP ANSWER_PORT every second, and sends each
//       client that connects 64 KiB of garbage a second without ever reading
//
// Exit status 0 when the mode ran, 1 when a socket could not be made (the reason on stderr).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxDatagram = 65507;  // the largest UDP payload over IPv4
constexpr std::size_t kChunk = 64 * 1024;

[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "fault_peer: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

std::string garbage(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) die("socket");
    const sockaddr_in a = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends what the peer takes within a second; a peer that stops reading or closes ends it.
void sendSome(int fd, const std::string& bytes) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    std::size_t done = 0;
    while (done < bytes.size() && std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

int udp(int port, int count, std::mt19937& rng) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) die("socket");
    int big = 1 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    const sockaddr_in a = loopback(port);
    const std::vector<std::string> fixed = {std::string(), "DISCOVER\n",
                                            "DISCOVERX",   std::string("DIS\0COVER", 9),
                                            "DISCOVE",     std::string(kMaxDatagram, 'D')};
    for (int i = 0; i < count; ++i) {
        std::string d = i < static_cast<int>(fixed.size()) ? fixed[static_cast<std::size_t>(i)]
                      : i % 3 == 0                         ? garbage(rng, kMaxDatagram)
                                                           : garbage(rng, rng() % 2048);
        // A full socket buffer is no failure of the peer under test: the datagram is dropped.
        ::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        if (i % 16 == 15) ::usleep(2000);
    }
    ::close(fd);
    return 0;
}

int tcpGarbage(int port, int count, std::mt19937& rng) {
    for (int i = 0; i < count; ++i) {
        const int fd = connectTo(port);
        if (fd < 0) continue;  // refused or full: the peer chose; the test checks it goes on
        sendSome(fd, i % 2 == 0 ? garbage(rng, kChunk) : "R" + garbage(rng, kChunk - 1));
        ::close(fd);
    }
    return 0;
}

// Holds connections for seconds; each shut for sending (half-open) or sending text and never
// reading, with a small receive buffer so that the peer's output backs up soon.
int tcpHold(int port, int count, int seconds, bool halfOpen, const std::string& text) {
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) die("socket");
        int small = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const sockaddr_in a = loopback(port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            continue;
        }
        if (!text.empty()) sendSome(fd, text);
        if (halfOpen) ::shutdown(fd, SHUT_WR);
        fds.push_back(fd);
    }
    std::printf("holding %zu connections\n", fds.size());
    std::fflush(stdout);
    ::sleep(static_cast<unsigned>(seconds));
    for (int fd : fds) ::close(fd);
    return 0;
}

int fakeController(int port, int answerPort, int seconds, std::mt19937& rng) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) die("socket");
    int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in a = loopback(port);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) die("bind");
    if (::listen(listener, 16) != 0) die("listen");
    ::fcntl(listener, F_SETFL, O_NONBLOCK);
    const int udpFd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (udpFd < 0) die("socket");
    const sockaddr_in answer = loopback(answerPort);
    std::vector<int> clients;
    std::size_t accepted = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        ::sendto(udpFd, "DISCOVER", 8, 0, reinterpret_cast<const sockaddr*>(&answer), sizeof answer);
        for (int fd; (fd = ::accept(listener, nullptr, nullptr)) >= 0;) {
            clients.push_back(fd);
            ++accepted;
        }
        for (std::size_t i = 0; i < clients.size(); ++i) {
            // Garbage, an unknown packet letter first, then half the time a 64 KiB credential
            // packet that no line can hold.
            sendSome(clients[i],
                     i % 2 == 0 ? "X" + garbage(rng, kChunk - 1) : "U" + std::string(kChunk - 1, 'a'));
        }
        ::usleep(200000);
    }
    for (int fd : clients) ::close(fd);
    ::close(listener);
    ::close(udpFd);
    std::printf("accepted %zu connections\n", accepted);
    return 0;
}

int number(const char* text) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > 1000000) {
        std::fprintf(stderr, "fault_peer: not a number: %s\n", text);
        std::exit(2);
    }
    return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
    std::mt19937 rng(12345);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "udp" && argc == 4) return udp(number(argv[2]), number(argv[3]), rng);
    if (mode == "tcp-garbage" && argc == 4) return tcpGarbage(number(argv[2]), number(argv[3]), rng);
    if (mode == "tcp-half-open" && argc == 5)
        return tcpHold(number(argv[2]), number(argv[3]), number(argv[4]), true, "");
    if (mode == "tcp-no-read" && (argc == 5 || argc == 6))
        return tcpHold(number(argv[2]), number(argv[3]), number(argv[4]), false, argc == 6 ? argv[5] : "");
    if (mode == "fake-controller" && argc == 5)
        return fakeController(number(argv[2]), number(argv[3]), number(argv[4]), rng);
    std::fprintf(
        stderr,
        "usage: fault_peer udp PORT COUNT | tcp-garbage PORT COUNT | tcp-half-open PORT COUNT SECONDS |\n"
        "       tcp-no-read PORT COUNT SECONDS [TEXT] | fake-controller PORT ANSWER_PORT SECONDS\n");
    return 2;
}
