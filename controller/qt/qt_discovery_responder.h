// UDP side of discovery: answers "DISCOVER" with "DISCOVER" to the sender's address.
#pragma once

#include "controller/core/control_engine.h"
#include "controller/core/discovery_gate.h"
#include "controller/core/run_stats.h"

#include <QUdpSocket>

namespace tarrow::ctrl {

class QtDiscoveryResponder : public QObject {
public:
    QtDiscoveryResponder(const ControlEngine& engine, RunStats& stats, std::uint16_t answerPort,
                         QObject* parent = nullptr);
    // Binds every IPv4 address at port (0: any free port). False with a reason on failure.
    bool bind(std::uint16_t port, QString& error);
    std::uint16_t port() const { return socket_.localPort(); }

private:
    void drain();

    const ControlEngine& engine_;
    RunStats& stats_;
    std::uint16_t answerPort_;
    QUdpSocket socket_;
    DiscoveryGate gate_;
};

}  // namespace tarrow::ctrl
