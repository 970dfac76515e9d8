#include "tools/delay_relay/relay_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarrow::relay {

namespace {

constexpr std::size_t kReadChunkBytes = 64 * 1024;
constexpr int kLongestPollMs = 1000;  // wake at least this often to see a stop request

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

sockaddr_in toSockaddr(const Endpoint& e) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(e.port);
    inet_pton(AF_INET, e.address.c_str(), &a.sin_addr);
    return a;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

std::int64_t monotonicNowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

struct RelayServer::Connection {
    Connection(std::int64_t upDelayUs, std::int64_t downDelayUs, std::size_t maxBytes)
        : up(upDelayUs, maxBytes), down(downDelayUs, maxBytes) {}
    ~Connection() {
        closeFd(clientFd);
        closeFd(targetFd);
    }
    int clientFd = -1;
    int targetFd = -1;
    bool connecting = true;  // the connect to the target is under way
    std::int64_t connectDeadlineUs = 0;
    DelayLine up;              // client -> target
    DelayLine down;            // target -> client
    bool clientEnded = false;  // the client half closed (or reset)
    bool targetEnded = false;
    bool targetShut = false;  // our write side toward the target is closed
    bool clientShut = false;
    bool failed = false;  // drop at once
};

RelayServer::RelayServer(RelayOptions options) : options_(std::move(options)) {}

RelayServer::~RelayServer() {
    connections_.clear();
    closeFd(listenFd_);
}

bool RelayServer::open(std::string& error) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const sockaddr_in a = toSockaddr(options_.listen);
    if (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd_, 512) != 0 || !setNonBlocking(listenFd_)) {
        error = "cannot listen on " + options_.listen.address + ":" + std::to_string(options_.listen.port) +
                ": " + std::strerror(errno);
        closeFd(listenFd_);
        return false;
    }
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &len);
    listenPort_ = ntohs(bound.sin_port);
    return true;
}

void RelayServer::acceptClients(std::int64_t nowUs) {
    while (connections_.size() < options_.maxConnections) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN, or a client that left before we took it
        ++counts_.accepted;
        auto c = std::make_unique<Connection>(options_.delayMs * 1000, options_.returnDelayMs * 1000,
                                              options_.maxQueuedBytes);
        c->clientFd = fd;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        c->targetFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_in a = toSockaddr(options_.target);
        if (c->targetFd < 0 || (::connect(c->targetFd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 &&
                                errno != EINPROGRESS)) {
            ++counts_.targetFailed;
            continue;  // the client sees its connection closed
        }
        setsockopt(c->targetFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        c->connectDeadlineUs = nowUs + options_.connectTimeoutMs * 1000;
        connections_.push_back(std::move(c));
    }
}

// Reads what the source has into the line; false on a read error.
bool RelayServer::pump(int fromFd, DelayLine& line, bool& sourceEnded, std::int64_t nowUs) {
    char buf[kReadChunkBytes];
    const ssize_t n = ::recv(fromFd, buf, sizeof buf, 0);
    if (n > 0) {
        line.push(nowUs, std::string_view(buf, static_cast<std::size_t>(n)));
        return true;
    }
    if (n == 0) {
        sourceEnded = true;
        line.pushEnd(nowUs);
        return true;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

// Writes what is due; half closes the receiver once the source's end is due. False on an error.
bool RelayServer::drain(int toFd, DelayLine& line, bool& shut, std::uint64_t& counted, std::int64_t nowUs) {
    for (std::string_view due = line.ready(nowUs); !due.empty(); due = line.ready(nowUs)) {
        const ssize_t n = ::send(toFd, due.data(), due.size(), MSG_NOSIGNAL);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        line.consume(static_cast<std::size_t>(n));
        counted += static_cast<std::uint64_t>(n);
    }
    if (!shut && line.endReady(nowUs)) {
        ::shutdown(toFd, SHUT_WR);
        shut = true;
    }
    return true;
}

void RelayServer::serve(Connection& c, short clientEvents, short targetEvents, std::int64_t nowUs) {
    // A reset or another socket error on either side ends the whole relayed connection.
    if ((clientEvents & POLLERR) || (!c.connecting && (targetEvents & POLLERR))) {
        c.failed = true;
        return;
    }
    if (c.connecting) {
        if (targetEvents & (POLLOUT | POLLERR | POLLHUP)) {
            int err = 0;
            socklen_t len = sizeof err;
            getsockopt(c.targetFd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err != 0) {
                ++counts_.targetFailed;
                c.failed = true;
                return;
            }
            c.connecting = false;
        } else if (nowUs >= c.connectDeadlineUs) {
            ++counts_.targetFailed;
            c.failed = true;
            return;
        }
    }
    // The client's bytes are read even while the target connect is under way: they wait in the line.
    if ((clientEvents & (POLLIN | POLLHUP | POLLERR)) && !c.clientEnded &&
        !pump(c.clientFd, c.up, c.clientEnded, nowUs)) {
        c.failed = true;
        return;
    }
    if (c.connecting) return;
    if ((targetEvents & (POLLIN | POLLHUP | POLLERR)) && !c.targetEnded &&
        !pump(c.targetFd, c.down, c.targetEnded, nowUs)) {
        c.failed = true;
        return;
    }
    if (!drain(c.targetFd, c.up, c.targetShut, counts_.bytesToTarget, nowUs) ||
        !drain(c.clientFd, c.down, c.clientShut, counts_.bytesBack, nowUs))
        c.failed = true;
}

int RelayServer::pollTimeoutMs(std::int64_t nowUs) const {
    std::int64_t soonestUs = nowUs + kLongestPollMs * 1000;
    for (const auto& c : connections_) {
        if (c->connecting && c->connectDeadlineUs < soonestUs) soonestUs = c->connectDeadlineUs;
        for (const DelayLine* line : {&c->up, &c->down}) {
            const std::int64_t due = line->nextDueUs();
            if (due >= 0 && due < soonestUs) soonestUs = due;
        }
    }
    const std::int64_t waitUs = soonestUs - nowUs;
    return waitUs <= 0 ? 0 : static_cast<int>((waitUs + 999) / 1000);
}

void RelayServer::run(const volatile std::sig_atomic_t& stop) {
    std::vector<pollfd> fds;
    while (!stop) {
        const std::int64_t beforeUs = monotonicNowUs();
        fds.clear();
        const bool roomForMore = connections_.size() < options_.maxConnections;
        fds.push_back(pollfd{listenFd_, static_cast<short>(roomForMore ? POLLIN : 0), 0});
        for (const auto& c : connections_) {
            short clientWants = 0;
            short targetWants = 0;
            if (!c->clientEnded && !c->up.full()) clientWants |= POLLIN;
            if (!c->down.ready(beforeUs).empty()) clientWants |= POLLOUT;
            if (c->connecting) {
                targetWants = POLLOUT;
            } else {
                if (!c->targetEnded && !c->down.full()) targetWants |= POLLIN;
                if (!c->up.ready(beforeUs).empty()) targetWants |= POLLOUT;
            }
            // A side that ended both ways reports POLLHUP for ever: leave it out of the wait.
            fds.push_back(pollfd{c->clientEnded && c->clientShut ? -1 : c->clientFd, clientWants, 0});
            fds.push_back(pollfd{c->targetEnded && c->targetShut ? -1 : c->targetFd, targetWants, 0});
        }
        const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs(beforeUs));
        if (ready < 0 && errno != EINTR) return;
        const std::int64_t nowUs = monotonicNowUs();
        // Every connection is served on every turn: held chunks fall due without any event.
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            const short clientEvents = ready > 0 ? fds[1 + 2 * i].revents : 0;
            const short targetEvents = ready > 0 ? fds[2 + 2 * i].revents : 0;
            serve(*connections_[i], clientEvents, targetEvents, nowUs);
        }
        std::erase_if(connections_, [](const std::unique_ptr<Connection>& c) {
            return c->failed || (c->targetShut && c->clientShut);
        });
        if (ready > 0 && (fds[0].revents & POLLIN)) acceptClients(nowUs);
    }
}

}  // namespace tarrow::relay
