#include "client/qt/qt_tcp_transport.h"

#include <QHostAddress>

#include "client/qt/latin1.h"
#include "client/qt/loop_guard.h"

namespace tarrow::qt {

QtTcpTransport::QtTcpTransport(int connectTimeoutMs) {
    connectTimer_.setSingleShot(true);
    connectTimer_.setInterval(connectTimeoutMs);
    QObject::connect(&connectTimer_, &QTimer::timeout, [this] { failAttempt("Connection timed out"); });
    QObject::connect(&socket_, &QTcpSocket::connected, [this] { onConnected(); });
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { onReadyRead(); });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred,
                     [this](QAbstractSocket::SocketError error) { onError(error); });
    QObject::connect(&socket_, &QTcpSocket::disconnected, [this] { onDisconnected(); });
}

QtTcpTransport::~QtTcpTransport() {
    // Tear-down closes without running any handler of the logic.
    state_ = State::Idle;
    socket_.disconnect();
    socket_.abort();
}

void QtTcpTransport::connectTo(const std::string& host, std::uint16_t port) {
    // A new attempt replaces whatever was under way, silently.
    close();
    errorText_.clear();
    peerAddress_.clear();
    state_ = State::Connecting;
    connectTimer_.start();
    socket_.connectToHost(toQString(host), port, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
}

WriteResult QtTcpTransport::write(const std::string& bytes) {
    if (state_ != State::Connected || socket_.state() != QAbstractSocket::ConnectedState) {
        return WriteResult::Failed;
    }
    // Qt buffers what the kernel cannot take at once and writes it from the event loop; a
    // controller that does not read must not make that buffer grow without end.
    if (queuedBytes() + bytes.size() > kMaxQueuedBytes) return WriteResult::WouldBlock;
    if (socket_.write(toByteArray(bytes)) < 0) {
        errorText_ = toStdString(socket_.errorString());
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

void QtTcpTransport::close() {
    ++generation_;
    state_ = State::Idle;  // the slots ignore what abort() emits from here on
    connectTimer_.stop();
    socket_.abort();
}

void QtTcpTransport::onConnected() {
    if (state_ != State::Connecting) return;
    connectTimer_.stop();
    state_ = State::Connected;
    peerAddress_ = toStdString(QHostAddress(socket_.peerAddress().toIPv4Address()).toString());
    deliver(handlers_.connected);
}

void QtTcpTransport::onReadyRead() {
    if (state_ != State::Connected) return;
    const std::string bytes = toStdString(socket_.readAll());
    if (bytes.empty()) return;
    deliver([&] {
        if (handlers_.readable) handlers_.readable(bytes);
    });
}

void QtTcpTransport::onError(QAbstractSocket::SocketError error) {
    const std::string text = toStdString(socket_.errorString());
    if (state_ == State::Connecting) {
        later(&QtTcpTransport::failAttempt, text);
    } else if (state_ == State::Connected) {
        later(&QtTcpTransport::finish, error == QAbstractSocket::RemoteHostClosedError ? std::string() : text);
    }
}

void QtTcpTransport::onDisconnected() {
    if (state_ == State::Connected) later(&QtTcpTransport::finish, {});
}

void QtTcpTransport::later(void (QtTcpTransport::*step)(const std::string&), const std::string& errorText) {
    const unsigned generation = generation_;
    QTimer::singleShot(0, &socket_, [this, step, errorText, generation] {
        if (generation == generation_) (this->*step)(errorText);
    });
}

void QtTcpTransport::finish(const std::string& errorText) {
    // Bytes the peer sent just before closing still reach the logic first.
    if (socket_.bytesAvailable() > 0) onReadyRead();
    if (state_ != State::Connected) return;  // the logic closed it while reading
    state_ = State::Idle;
    errorText_ = errorText;
    socket_.abort();
    deliver([&] {
        if (handlers_.closed) handlers_.closed(errorText);
    });
}

void QtTcpTransport::failAttempt(const std::string& errorText) {
    if (state_ != State::Connecting) return;
    state_ = State::Idle;
    connectTimer_.stop();
    errorText_ = errorText;
    socket_.abort();
    deliver([&] {
        if (handlers_.connectFailed) handlers_.connectFailed(errorText);
    });
}

}  // namespace tarrow::qt
