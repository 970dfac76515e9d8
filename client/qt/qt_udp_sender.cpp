#include "client/qt/qt_udp_sender.h"

#include <QHostAddress>
#include <QHostInfo>

#include "client/qt/latin1.h"

namespace tarrow::qt {
namespace {

// The first IPv4 address of host: a dotted address as it stands, a name through the resolver.
QHostAddress resolveIPv4(const std::string& host) {
    QHostAddress address;
    if (address.setAddress(toQString(host)) && address.protocol() == QAbstractSocket::IPv4Protocol) {
        return address;
    }
    if (host.empty()) return {};
    const QHostInfo info = QHostInfo::fromName(toQString(host));
    for (const QHostAddress& candidate : info.addresses()) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol) return candidate;
    }
    return {};
}

}  // namespace

QtUdpSender::QtUdpSender(std::uint16_t remotePort) : remotePort_(remotePort) {
    // Qt sets SO_BROADCAST on every UDP socket, so a directed broadcast such as
    // 127.255.255.255 is accepted by the kernel.
    socket_.bind(QHostAddress::AnyIPv4, 0);
}

void QtUdpSender::send(const std::string& bytes) {
    const QHostAddress address = resolveIPv4(host_);
    if (address.isNull()) {
        throw SocketError("Cannot send to \"" + host_ + "\": the host name could not be resolved");
    }
    // A datagram the platform refuses is dropped without a report; the next send tries again.
    socket_.writeDatagram(toByteArray(bytes), address, remotePort_);
}

}  // namespace tarrow::qt
