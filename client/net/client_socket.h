// The form's control-connection socket: a non-blocking TCP client with fixed port, a host that
// may change only while no connection is up, and the lost / error notifications the form's
// control channel relies on. Built over any TcpTransport, so that every transport behaves alike.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "client/ports/sockets.h"

namespace tarrow {

class ClientSocket {
public:
    struct Handlers {
        // The connection is established.
        std::function<void()> connected;
        // An established connection ended: closed by the peer, by close(), after a failed send
        // or with an error (reset, read error). Not run by closeSilently() or the destructor.
        std::function<void()> lost;
        // Bytes that arrived, all that were waiting, never empty.
        std::function<void(const std::string& bytes)> read;
        // An asynchronous failure for the general error report: a connection attempt that
        // failed, or a connection that ended with an error (reported after lost has run).
        std::function<void(const std::string& text)> error;
    };

    // The transport must outlive the socket; the socket takes over its handlers.
    ClientSocket(TcpTransport& transport, std::uint16_t port);
    // Closes an open connection silently (no lost handler) and detaches from the transport.
    ~ClientSocket();
    ClientSocket(const ClientSocket&) = delete;
    ClientSocket& operator=(const ClientSocket&) = delete;

    void setHandlers(Handlers handlers);

    std::uint16_t port() const { return port_; }
    const std::string& host() const { return host_; }
    // The same host changes nothing. A different host while connected throws
    // SocketError("Can't change value while socket is active"). A different host while an
    // attempt is still pending abandons that attempt: the newest answer wins, so the host text
    // always names the address being connected to.
    void setHost(const std::string& host);

    // True while a connection is up or being opened.
    bool active() const { return state_ != State::Inactive; }
    bool connecting() const { return state_ == State::Connecting; }
    bool connected() const { return state_ == State::Connected; }

    // Starts an asynchronous connect to host:port; does nothing while active.
    void open();
    // Abandons a pending attempt (no handler), or closes an established connection and runs lost.
    void close();
    // Closes without any handler: for the form's destruction.
    void closeSilently();

    // Sends exactly the characters of text in one write. Not connected: nothing is sent and
    // nothing is reported. A transport failure closes the connection (lost runs) and then
    // throws SocketError. A write the transport cannot take at once keeps the connection and
    // throws SocketError, so that a lost reply is always reported to the caller.
    void send(const std::string& text);

    // Dotted address of the connected peer; empty when not connected.
    std::string peerAddress() const;

private:
    enum class State { Inactive, Connecting, Connected };

    void onConnected();
    void onReadable(const std::string& bytes);
    void onClosed(const std::string& errorText);
    void onConnectFailed(const std::string& errorText);
    std::string endpointText() const;

    TcpTransport& transport_;
    std::uint16_t port_;
    std::string host_;
    State state_ = State::Inactive;
    Handlers handlers_;
};

}  // namespace tarrow
