#include "controller/qt/qt_control_server.h"

#include <QPointer>
#include <QTimer>

namespace tarrow::ctrl {

namespace {
// What Qt buffers per connection before it stops reading: a reply is at most 1499 bytes.
constexpr qint64 kReadBufferBytes = 4096;
// A connection that does not finish an orderly close within this is cut.
constexpr int kCloseGraceMs = 2000;
}  // namespace

class QtControlServer::Link : public ControlLink {
public:
    explicit Link(QTcpSocket* s) : socket(s) {}
    void send(std::string_view bytes) override {
        socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket->flush();  // hand it to the kernel now, not on the next loop turn
    }
    void close() override {
        if (closing) return;
        closing = true;
        socket->disconnectFromHost();
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(kCloseGraceMs, socket, [guard] {
            if (guard && guard->state() != QAbstractSocket::UnconnectedState) guard->abort();
        });
    }
    QTcpSocket* socket;
    ControlEngine::SessionId id = 0;
    bool closing = false;
};

QtControlServer::QtControlServer(ControlEngine& engine, QObject* parent)
    : QObject(parent), engine_(engine) {
    server_.setMaxPendingConnections(1024);
    server_.setListenBacklogSize(1024);  // a thousand clients may connect at once
    connect(&server_, &QTcpServer::newConnection, this, &QtControlServer::acceptPending);
    connect(&server_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        // Out of descriptors: pause instead of spinning on the ready listener.
        server_.pauseAccepting();
        QTimer::singleShot(100, this, [this] { server_.resumeAccepting(); });
    });
}

QtControlServer::~QtControlServer() {
    for (auto& [socket, link] : links_) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

bool QtControlServer::listen(std::uint16_t port, QString& error) {
    if (server_.listen(QHostAddress::AnyIPv4, port)) return true;
    error = server_.errorString();
    return false;
}

void QtControlServer::acceptPending() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(nullptr);
        socket->setReadBufferSize(kReadBufferBytes);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto owned = std::make_unique<Link>(socket);
        Link& link = *owned;
        links_.emplace(socket, std::move(owned));
        // Closes are handled on the next loop turn, never inside a write the engine made.
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { closed(socket); },
                Qt::QueuedConnection);
        connect(socket, &QTcpSocket::readyRead, this, [this, &link] { readFrom(link); });
        const std::string peer =
            socket->peerAddress().toString().toStdString() + ":" + std::to_string(socket->peerPort());
        link.id = engine_.connected(link, peer);
        if (link.id == 0) {  // refused
            socket->disconnect(this);
            socket->abort();
            links_.erase(socket);
            socket->deleteLater();
        }
    }
}

void QtControlServer::readFrom(Link& link) {
    char buffer[2048];
    while (!link.closing) {
        const qint64 n = link.socket->read(buffer, sizeof buffer);
        if (n <= 0) break;
        engine_.received(link.id, std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    if (link.closing) link.socket->skip(link.socket->bytesAvailable());
}

void QtControlServer::closed(QTcpSocket* socket) {
    const auto it = links_.find(socket);
    if (it == links_.end()) return;
    socket->disconnect(this);
    engine_.disconnected(it->second->id);
    links_.erase(it);
    socket->deleteLater();
}

}  // namespace tarrow::ctrl
