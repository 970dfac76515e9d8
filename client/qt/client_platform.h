// The timers, sockets, clocks and random source of one client, with the settings of the form
// description. Shared by the window and the headless front end; the clocks and the random
// source are the form library's own (client/app/system_sources.h).
#pragma once

#include <cstdint>

#include "client/app/system_sources.h"
#include "client/qt/qt_tcp_transport.h"
#include "client/qt/qt_timer.h"
#include "client/qt/qt_udp_receiver.h"
#include "client/qt/qt_udp_sender.h"

namespace tarrow::qt {

struct ClientPlatform {
    // discoverPort: where announcements go; answerPort: where answers arrive (0: any free port).
    // Throws SocketError when answerPort cannot be bound.
    explicit ClientPlatform(std::uint16_t discoverPort = QtUdpSender::kDefaultRemotePort,
                            std::uint16_t answerPort = QtUdpReceiver::kDefaultLocalPort)
        : sktOutput(discoverPort), sktInput(answerPort) {}

    QtTimer timeDiscover{5000, true};
    QtTimer timeEvent{1000, false};
    QtTimer timeCountdown{1000, false};
    QtUdpSender sktOutput;
    QtUdpReceiver sktInput;
    QtTcpTransport tcpTransport;
    SystemSources sources;
};

}  // namespace tarrow::qt
