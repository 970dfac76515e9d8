// Network operations the client's logic needs. Adapters implement them on Qt sockets;
// tests use in-memory doubles. Handlers are called on the event loop's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace tarrow {

// A failure of the socket layer that reaches the general error report.
class SocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Sends datagrams. The remote host may be a dotted IPv4 address or a name, resolved before each send.
class UdpSender {
public:
    virtual ~UdpSender() = default;
    virtual std::string remoteHost() const = 0;
    virtual void setRemoteHost(const std::string& host) = 0;
    virtual std::uint16_t remotePort() const = 0;
    // Sends one datagram to (remoteHost, remotePort). Throws SocketError when the host name
    // cannot be resolved; a datagram the platform refuses is dropped without a report.
    virtual void send(const std::string& bytes) = 0;
};

// Receives datagrams on a bound local port.
class UdpReceiver {
public:
    virtual ~UdpReceiver() = default;
    virtual std::uint16_t localPort() const = 0;
    // bytes: the whole datagram; fromIp: dotted-decimal IPv4 text of the sender.
    using Handler =
        std::function<void(const std::string& bytes, const std::string& fromIp, std::uint16_t fromPort)>;
    virtual void setHandler(Handler onDatagram) = 0;
};

// Outcome of handing bytes to a non-blocking stream.
enum class WriteResult { Written, WouldBlock, Failed };

// A thin non-blocking TCP transport: one connection at a time. The socket semantics the
// form relies on (host changes refused while active, lost handling, send errors) are built
// on top of it in client/net, so that every transport behaves alike.
class TcpTransport {
public:
    virtual ~TcpTransport() = default;

    struct Handlers {
        std::function<void()> connected;
        // All bytes waiting on the connection, read at once (may be empty).
        std::function<void(const std::string& bytes)> readable;
        // The peer closed the connection, or it failed after being established (reset, read error).
        // errorText is empty for an orderly close.
        std::function<void(const std::string& errorText)> closed;
        // A connection attempt failed; the transport is idle again.
        std::function<void(const std::string& errorText)> connectFailed;
    };
    virtual void setHandlers(Handlers handlers) = 0;

    // Starts an asynchronous connect; the outcome arrives through connected or connectFailed.
    virtual void connectTo(const std::string& host, std::uint16_t port) = 0;
    // Hands all bytes to the connection in one write, or none of them: WouldBlock when the
    // transport cannot take them now (its bounded queue is full).
    virtual WriteResult write(const std::string& bytes) = 0;
    // Closes at once; no handler is called for this close.
    virtual void close() = 0;
    // Dotted IPv4 text of the connected peer. Its host name is HostNames' to find.
    virtual std::string peerAddress() const = 0;
    // Text of the last failure, for reports.
    virtual std::string errorText() const = 0;
};

}  // namespace tarrow
