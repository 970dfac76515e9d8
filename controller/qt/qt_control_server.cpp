#include "controller/qt/qt_control_server.h"

#include <iostream>

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarrow::ctrl {

namespace {
// A connection that does not finish an orderly close within this is cut.
constexpr int kCloseGraceMs = 2000;
// Bytes read per readiness report before other connections get their turn.
constexpr std::size_t kReadBudgetBytes = 64 * 1024;
// Bytes queued for a client that does not read; a credential packet is far smaller.
constexpr std::size_t kMaxPendingBytes = 64 * 1024;

std::string peerText(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET)
        return "?";
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}
}  // namespace

// One connection on its descriptor. The engine talks to it through ControlLink; it reports
// reads and closes to the engine, never from inside a call the engine made.
class QtControlServer::Link : public QObject, public ControlLink {
public:
    Link(QtControlServer& server, int fd)
        : server_(server), fd_(fd), reader_(fd, QSocketNotifier::Read), writer_(fd, QSocketNotifier::Write) {
        writer_.setEnabled(false);
        connect(&reader_, &QSocketNotifier::activated, this, [this] { readable(); });
        connect(&writer_, &QSocketNotifier::activated, this, [this] { writable(); });
    }
    ~Link() override {
        reader_.setEnabled(false);
        writer_.setEnabled(false);
        ::close(fd_);
    }

    void send(std::string_view bytes) override {
        if (closing_ || failed_) return;
        if (pending_.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n == static_cast<ssize_t>(bytes.size())) return;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return fail();
            bytes.remove_prefix(n > 0 ? static_cast<std::size_t>(n) : 0);
        }
        if (pending_.size() + bytes.size() > kMaxPendingBytes) return fail();
        pending_.append(bytes);
        writer_.setEnabled(true);
    }

    // Orderly close: what is queued goes out, then FIN; the peer's remaining bytes are
    // discarded until it closes too, or the grace time ends.
    void close() override {
        if (closing_) return;
        closing_ = true;
        if (pending_.empty()) ::shutdown(fd_, SHUT_WR);
        QTimer::singleShot(kCloseGraceMs, this, [this] { finish(); });
    }

    ControlEngine::SessionId id = 0;

private:
    void readable() {
        char buffer[2048];
        std::size_t budget = kReadBudgetBytes;
        while (budget > 0) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                budget -= std::min(budget, static_cast<std::size_t>(n));
                if (!closing_ && !failed_)
                    server_.engine_.received(id, std::string_view(buffer, static_cast<std::size_t>(n)));
                // A short read took all there was: the notifier reports what comes next, so
                // a reply costs one read rather than a second one that finds nothing.
                if (static_cast<std::size_t>(n) < sizeof buffer) return;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n < 0 && errno == EINTR) continue;
            return peerGone();  // end of stream or a failure such as a reset
        }
    }

    void writable() {
        const ssize_t n = ::send(fd_, pending_.data(), pending_.size(), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            pending_.clear();
            writer_.setEnabled(false);
            return closing_ ? finish() : fail();
        }
        pending_.erase(0, n > 0 ? static_cast<std::size_t>(n) : 0);
        if (!pending_.empty()) return;
        writer_.setEnabled(false);
        if (closing_) ::shutdown(fd_, SHUT_WR);
    }

    void peerGone() {
        // A failed send still leaves the session with the engine: only a close the engine
        // asked for means it has forgotten the connection already.
        const bool tellEngine = !closing_;
        closing_ = true;
        if (tellEngine) server_.engine_.disconnected(id);
        finish();
    }

    // A send failed inside an engine call: report the loss on the next loop turn.
    void fail() {
        if (failed_) return;
        failed_ = true;
        QTimer::singleShot(0, this, [this] { peerGone(); });
    }

    void finish() {
        if (done_) return;
        done_ = true;
        reader_.setEnabled(false);
        writer_.setEnabled(false);
        server_.finished(this);
    }

    QtControlServer& server_;
    int fd_;
    QSocketNotifier reader_;
    QSocketNotifier writer_;
    std::string pending_;
    bool closing_ = false;
    bool failed_ = false;
    bool done_ = false;
};

QtControlServer::QtControlServer(ControlEngine& engine, QObject* parent)
    : QTcpServer(parent), engine_(engine) {
    setListenBacklogSize(1024);  // a thousand clients may connect at once
    connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        // Out of descriptors: pause instead of spinning on the ready listener, and say so once
        // until a connection is accepted again.
        if (!acceptFailing_) {
            std::cerr << "TarrowCtrl: accepting a connection failed: " << errorString().toStdString()
                      << "; retrying every " << kAcceptBackOffMs << " ms\n";
        }
        acceptFailing_ = true;
        pauseAccepting();
        QTimer::singleShot(kAcceptBackOffMs, this, [this] { resumeAccepting(); });
    });
}

QtControlServer::~QtControlServer() {
    for (Link* link : links_) delete link;
}

bool QtControlServer::listenOn(std::uint16_t port, QString& error) {
    if (listen(QHostAddress::AnyIPv4, port)) return true;
    error = errorString();
    return false;
}

void QtControlServer::incomingConnection(qintptr descriptor) {
    acceptFailing_ = false;
    const int fd = static_cast<int>(descriptor);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto* link = new Link(*this, fd);
    link->id = engine_.connected(*link, peerText(fd));
    if (link->id == 0) {  // refused (full or stopping): closed at once
        delete link;
        return;
    }
    links_.insert(link);
}

void QtControlServer::finished(Link* link) {
    if (links_.erase(link)) link->deleteLater();
}

}  // namespace tarrow::ctrl
