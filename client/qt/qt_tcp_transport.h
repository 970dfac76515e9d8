// tarrow::TcpTransport on a QTcpSocket. Handlers run from the event loop, never from inside
// connectTo, write or close; a close the logic asks for is silent.
#pragma once

#include <QTcpSocket>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <string>

#include "client/ports/sockets.h"

namespace tarrow::qt {

class QtTcpTransport final : public TcpTransport {
public:
    static constexpr int kDefaultConnectTimeoutMs = 20000;
    // The most bytes queued for a controller that does not read: far more than the replies to
    // the packets it has sent, so a write beyond it reports WouldBlock instead of growing.
    static constexpr std::size_t kMaxQueuedBytes = 64 * 1024;
    // connectTimeoutMs bounds a connection attempt to a host that does not answer.
    explicit QtTcpTransport(int connectTimeoutMs = kDefaultConnectTimeoutMs);
    ~QtTcpTransport() override;

    void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
    void connectTo(const std::string& host, std::uint16_t port) override;
    WriteResult write(const std::string& bytes) override;
    void close() override;
    std::string peerAddress() const override { return peerAddress_; }
    std::string errorText() const override { return errorText_; }
    // Bytes written and not yet handed to the system.
    std::size_t queuedBytes() const { return static_cast<std::size_t>(socket_.bytesToWrite()); }

private:
    enum class State { Idle, Connecting, Connected };

    void onConnected();
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void onDisconnected();
    // Runs step from the event loop, after Qt has finished with the signal that asked for it,
    // unless the logic has closed or reconnected in the meantime.
    void later(void (QtTcpTransport::*step)(const std::string&), const std::string& errorText);
    // Ends the connection after the peer closed it or it failed; reports it once.
    void finish(const std::string& errorText);
    void failAttempt(const std::string& errorText);

    QTcpSocket socket_;
    QTimer connectTimer_;
    State state_ = State::Idle;
    // Counts connectTo and close calls, so that a step scheduled for an earlier connection is dropped.
    unsigned generation_ = 0;
    Handlers handlers_;
    std::string peerAddress_;
    std::string errorText_;
};

}  // namespace tarrow::qt
