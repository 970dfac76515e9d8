// tarrow::UdpSender on a QUdpSocket. The host is resolved before each send, so a name in
// the INI file follows changes of the name service.
#pragma once

#include <QUdpSocket>
#include <cstdint>
#include <string>

#include "client/ports/sockets.h"
#include "common/link_protocol.h"

namespace tarrow::qt {

class QtUdpSender final : public UdpSender {
public:
    static constexpr std::uint16_t kDefaultRemotePort = kDiscoveryPort;
    explicit QtUdpSender(std::uint16_t remotePort = kDefaultRemotePort);
    std::string remoteHost() const override { return host_; }
    void setRemoteHost(const std::string& host) override { host_ = host; }
    std::uint16_t remotePort() const override { return remotePort_; }
    void send(const std::string& bytes) override;

private:
    QUdpSocket socket_;
    std::string host_;
    std::uint16_t remotePort_;
};

}  // namespace tarrow::qt
