#include "client/qt/qt_tcp_transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QHostAddress>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "client/qt/latin1.h"
#include "client/qt/loop_guard.h"

namespace tarrow::qt {

QtTcpTransport::QtTcpTransport(int connectTimeoutMs, int lookupTimeoutMs) : lookupTimeoutMs_(lookupTimeoutMs) {
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
    // Qt buffers what the kernel cannot take at once and writes it from the event loop.
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

std::string QtTcpTransport::peerHostName() const {
    if (peerAddress_.empty()) return {};
    return reverseLookup(peerAddress_, lookupTimeoutMs_);
}

std::string reverseLookup(const std::string& dottedAddress, int timeoutMs) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (inet_pton(AF_INET, dottedAddress.c_str(), &address.sin_addr) != 1) return {};
    // getnameinfo cannot be cancelled; a slow resolver is left to finish on its own thread
    // so that the event loop waits at most timeoutMs.
    auto result = std::make_shared<std::promise<std::string>>();
    std::future<std::string> name = result->get_future();
    std::thread([address, result] {
        char host[NI_MAXHOST] = {};
        const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host,
                                   sizeof host, nullptr, 0, NI_NAMEREQD);
        result->set_value(rc == 0 ? std::string(host) : std::string());
    }).detach();
    if (name.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) return {};
    return name.get();
}

}  // namespace tarrow::qt
