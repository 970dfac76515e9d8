#include "client/qt/qt_udp_receiver.h"

#include <QNetworkDatagram>
#include <string>

#include "client/qt/latin1.h"
#include "client/qt/loop_guard.h"

namespace tarrow::qt {

QtUdpReceiver::QtUdpReceiver(std::uint16_t localPort) {
    if (!socket_.bind(QHostAddress::AnyIPv4, localPort)) {
        throw SocketError("Cannot listen on UDP port " + std::to_string(localPort) + ": " +
                          toStdString(socket_.errorString()));
    }
    QObject::connect(&socket_, &QUdpSocket::readyRead, [this] { drain(); });
}

void QtUdpReceiver::drain() {
    // One readyRead may stand for several datagrams; each is one event for the logic.
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_.receiveDatagram();
        if (!datagram.isValid()) break;
        const std::string bytes = toStdString(datagram.data());
        const std::string fromIp = toStdString(
            QHostAddress(datagram.senderAddress().toIPv4Address()).toString());
        const auto fromPort = static_cast<std::uint16_t>(datagram.senderPort());
        deliver([&] {
            if (onDatagram_) onDatagram_(bytes, fromIp, fromPort);
        });
    }
}

}  // namespace tarrow::qt
