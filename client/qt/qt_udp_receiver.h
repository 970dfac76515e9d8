// tarrow::UdpReceiver on a QUdpSocket bound to one port on every local IPv4 address.
#pragma once

#include <QUdpSocket>
#include <cstdint>

#include "client/ports/sockets.h"
#include "common/link_protocol.h"

namespace tarrow::qt {

class QtUdpReceiver final : public UdpReceiver {
public:
    static constexpr std::uint16_t kDefaultLocalPort = kAnswerPort;
    // Throws SocketError when the port cannot be bound. Port 0 takes any free port.
    explicit QtUdpReceiver(std::uint16_t localPort = kDefaultLocalPort);
    std::uint16_t localPort() const override { return socket_.localPort(); }
    void setHandler(Handler onDatagram) override { onDatagram_ = std::move(onDatagram); }

private:
    void drain();

    QUdpSocket socket_;
    Handler onDatagram_;
};

}  // namespace tarrow::qt
