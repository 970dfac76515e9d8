#include "controller/qt/qt_discovery_responder.h"

#include "common/link_protocol.h"
#include "controller/core/system_ctrl_clock.h"

namespace tarrow::ctrl {

QtDiscoveryResponder::QtDiscoveryResponder(const ControlEngine& engine, RunStats& stats,
                                           std::uint16_t answerPort, QObject* parent)
    : QObject(parent), engine_(engine), stats_(stats), answerPort_(answerPort) {
    connect(&socket_, &QUdpSocket::readyRead, this, &QtDiscoveryResponder::drain);
}

bool QtDiscoveryResponder::bind(std::uint16_t port, QString& error) {
    if (socket_.bind(QHostAddress::AnyIPv4, port)) return true;
    error = socket_.errorString();
    return false;
}

void QtDiscoveryResponder::drain() {
    static const SystemCtrlClock clock;
    while (socket_.hasPendingDatagrams()) {
        char buffer[16];
        QHostAddress from;
        quint16 fromPort = 0;
        // Only the length matters for anything that is not 8 bytes; the rest is discarded.
        const qint64 size = socket_.pendingDatagramSize();
        const qint64 n = socket_.readDatagram(buffer, sizeof buffer, &from, &fromPort);
        if (n < 0) break;
        ++stats_.discoveryReceived;
        if (size != n || !engine_.accepting()) continue;
        const std::string_view bytes(buffer, static_cast<std::size_t>(n));
        const std::string sender = from.toString().toStdString() + ":" + std::to_string(fromPort);
        if (!gate_.shouldAnswer(bytes, sender, clock.monotonicUs())) continue;
        // The answer goes only to the address the datagram came from.
        socket_.writeDatagram(kDiscover.data(), static_cast<qint64>(kDiscover.size()), from, answerPort_);
        ++stats_.discoveryAnswered;
    }
}

}  // namespace tarrow::ctrl
