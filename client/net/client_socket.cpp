#include "client/net/client_socket.h"

#include <utility>

namespace tarrow {

ClientSocket::ClientSocket(TcpTransport& transport, std::uint16_t port) : transport_(transport), port_(port) {
    TcpTransport::Handlers h;
    h.connected = [this] { onConnected(); };
    h.readable = [this](const std::string& bytes) { onReadable(bytes); };
    h.closed = [this](const std::string& errorText) { onClosed(errorText); };
    h.connectFailed = [this](const std::string& errorText) { onConnectFailed(errorText); };
    transport_.setHandlers(std::move(h));
}

ClientSocket::~ClientSocket() {
    closeSilently();
    // The transport may outlive us; it must not call back into a dead object.
    transport_.setHandlers({});
}

void ClientSocket::setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

void ClientSocket::setHost(const std::string& host) {
    if (host == host_) return;
    if (state_ == State::Connected) throw SocketError("Can't change value while socket is active");
    if (state_ == State::Connecting) {
        transport_.close();
        state_ = State::Inactive;
    }
    host_ = host;
}

void ClientSocket::open() {
    if (active()) return;
    state_ = State::Connecting;
    transport_.connectTo(host_, port_);
}

void ClientSocket::close() {
    const bool wasConnected = state_ == State::Connected;
    closeSilently();
    if (wasConnected && handlers_.lost) handlers_.lost();
}

void ClientSocket::closeSilently() {
    if (state_ == State::Inactive) return;
    state_ = State::Inactive;
    transport_.close();
}

void ClientSocket::send(const std::string& text) {
    if (state_ != State::Connected) return;
    switch (transport_.write(text)) {
    case WriteResult::Written: return;
    case WriteResult::WouldBlock:
        throw SocketError("Send to " + endpointText() + " would block: " + std::to_string(text.size()) +
                          " bytes not sent");
    case WriteResult::Failed: {
        const std::string reason = transport_.errorText();
        const std::string what = "Send to " + endpointText() + " failed: " + reason;
        close();
        throw SocketError(what);
    }
    }
}

std::string ClientSocket::peerAddress() const {
    return connected() ? transport_.peerAddress() : std::string();
}

void ClientSocket::onConnected() {
    if (state_ != State::Connecting) return;  // a late report of an abandoned attempt
    state_ = State::Connected;
    if (handlers_.connected) handlers_.connected();
}

void ClientSocket::onReadable(const std::string& bytes) {
    if (state_ != State::Connected || bytes.empty()) return;
    if (handlers_.read) handlers_.read(bytes);
}

void ClientSocket::onClosed(const std::string& errorText) {
    if (state_ != State::Connected) return;
    state_ = State::Inactive;
    // An error end counts as lost as well, so that discovery starts again; the operator
    // also sees why the connection ended.
    if (handlers_.lost) handlers_.lost();
    if (!errorText.empty() && handlers_.error)
        handlers_.error("Connection to " + endpointText() + " ended: " + errorText);
}

void ClientSocket::onConnectFailed(const std::string& errorText) {
    if (state_ != State::Connecting) return;
    state_ = State::Inactive;
    if (handlers_.error) handlers_.error("Can't connect to " + endpointText() + ": " + errorText);
}

std::string ClientSocket::endpointText() const { return host_ + ":" + std::to_string(port_); }

}  // namespace tarrow
