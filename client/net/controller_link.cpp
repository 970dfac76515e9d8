#include "client/net/controller_link.h"

#include "common/buffer_text.h"
#include "common/link_protocol.h"

namespace tarrow {

ControllerLink::ControllerLink(UdpSender& sender, UdpReceiver& receiver, TcpTransport& transport, Guard guard,
                               std::uint16_t controlPort)
    : sender_(sender), receiver_(receiver), socket_(transport, controlPort), guard_(std::move(guard)) {
    receiver_.setHandler([this](const std::string& bytes, const std::string& fromIp, std::uint16_t fromPort) {
        guard_([&] { onDatagram(bytes, fromIp, fromPort); });
    });
    socket_.setHandlers({
        .connected = [this] { report(handlers_.connected); },
        .lost = [this] { report(handlers_.lost); },
        .read =
            [this](const std::string& bytes) {
                guard_([&] {
                    if (handlers_.packet) handlers_.packet(bytes);
                });
            },
        .error =
            [this](const std::string& text) {
                if (handlers_.error) handlers_.error(text);
            },
    });
}

ControllerLink::~ControllerLink() { detach(); }

void ControllerLink::announce() {
    // Exactly the eight letters: no terminator, no line end.
    sender_.send(std::string(kDiscover));
}

void ControllerLink::sendReply(const std::string& reply, const std::string& trailer) {
    // The reply passes through a zero-terminated buffer of the link's size: cut, never overrun.
    socket_.send(bufferText(reply) + trailer);
}

void ControllerLink::detach() {
    handlers_ = {};
    socket_.closeSilently();
    socket_.setHandlers({});
    receiver_.setHandler(nullptr);
}

void ControllerLink::onDatagram(const std::string& bytes, const std::string& fromIp, std::uint16_t fromPort) {
    const std::string text = bufferText(bytes);
    if (text == kDiscover) {
        // A refused host change (another controller while connected) leaves here, unreported
        // to the form, for the general error report.
        socket_.setHost(fromIp);
        socket_.open();
    }
    if (handlers_.datagram) handlers_.datagram(text, fromIp, fromPort);
}

void ControllerLink::report(std::function<void()> handler) {
    // A copy: the handler may replace the link's handlers while it runs.
    guard_([&] {
        if (handler) handler();
    });
}

}  // namespace tarrow
