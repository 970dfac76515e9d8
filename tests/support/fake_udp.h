// In-memory UDP endpoints: the sender records every datagram, the receiver lets a test inject one.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "client/ports/sockets.h"

namespace tarrow {

class FakeUdpSender : public UdpSender {
public:
    struct Datagram {
        std::string host;
        std::uint16_t port = 0;
        std::string bytes;
        bool operator==(const Datagram&) const = default;
    };

    std::string remoteHost() const override { return host_; }
    void setRemoteHost(const std::string& host) override { host_ = host; }
    std::uint16_t remotePort() const override { return port; }
    // Records the datagram; a host listed in unresolvable throws SocketError as a failed lookup does.
    void send(const std::string& bytes) override {
        if (unresolvable.count(host_) != 0) throw SocketError("Host not found: " + host_);
        sent.push_back({host_, port, bytes});
    }

    std::uint16_t port = 2308;
    std::set<std::string> unresolvable;
    std::vector<Datagram> sent;

private:
    std::string host_;
};

class FakeUdpReceiver : public UdpReceiver {
public:
    std::uint16_t localPort() const override { return port; }
    void setHandler(Handler onDatagram) override { handler_ = std::move(onDatagram); }
    bool hasHandler() const { return static_cast<bool>(handler_); }
    // Delivers one datagram as the platform would; nothing happens without a handler.
    void inject(const std::string& bytes, const std::string& fromIp, std::uint16_t fromPort = 2308) {
        if (handler_) handler_(bytes, fromIp, fromPort);
    }

    std::uint16_t port = 2309;

private:
    Handler handler_;
};

}  // namespace tarrow
