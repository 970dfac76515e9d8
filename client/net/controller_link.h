// The client's link to its controller: the announcements by broadcast, the answers that open
// the control connection, and that connection. The link takes over the platform's events of
// its sockets, runs each under the form's guard and reports it to the form.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "client/net/client_socket.h"
#include "client/ports/sockets.h"
#include "common/link_protocol.h"

namespace tarrow {

class ControllerLink {
public:
    struct Handlers {
        // A datagram on the answer port, as the link buffer holds it, after the link acted on it
        // (an answer "DISCOVER" has set the control connection's host and opened it).
        std::function<void(const std::string& text, const std::string& fromIp, std::uint16_t fromPort)> datagram;
        std::function<void()> connected;
        // The control connection ended (see ClientSocket::Handlers::lost).
        std::function<void()> lost;
        // Everything that arrived at once on the control connection: the channel has no framing.
        std::function<void(const std::string& bytes)> packet;
        // An asynchronous failure for the general error report.
        std::function<void(const std::string& text)> error;
    };
    // Runs one event; the form's runs it under its general error report.
    using Guard = std::function<void(const std::function<void()>& event)>;

    // The platform's objects must outlive the link; it takes over the receiver's and the
    // transport's handlers.
    // The control connection goes to controlPort (the described 2308 unless a test says otherwise).
    ControllerLink(UdpSender& sender, UdpReceiver& receiver, TcpTransport& transport, Guard guard,
                   std::uint16_t controlPort = kControlPort);
    ~ControllerLink();
    ControllerLink(const ControllerLink&) = delete;
    ControllerLink& operator=(const ControllerLink&) = delete;

    void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

    // Where announcements go: a dotted address or a name, resolved before each send.
    void setAnnounceHost(const std::string& host) { sender_.setRemoteHost(host); }
    std::string announceHost() const { return sender_.remoteHost(); }
    // Sends the eight bytes "DISCOVER". Throws SocketError when the host cannot be resolved.
    void announce();

    // Sends a reply on the control connection, cut to what the link buffer holds as text,
    // and after it, uncut, the trailer (a timings record, which begins with the buffer's
    // terminating zero). Throws SocketError as ClientSocket::send does.
    void sendReply(const std::string& reply, const std::string& trailer = {});

    ClientSocket& socket() { return socket_; }

    // Reports nothing more and closes the connection without any handler: for the form's end.
    void detach();

private:
    void onDatagram(const std::string& bytes, const std::string& fromIp, std::uint16_t fromPort);
    void report(std::function<void()> handler);

    UdpSender& sender_;
    UdpReceiver& receiver_;
    ClientSocket socket_;
    Guard guard_;
    Handlers handlers_;
};

}  // namespace tarrow
