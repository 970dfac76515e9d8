// TCP listener of the control channel. Qt accepts; each connection is then served straight on
// its descriptor with QSocketNotifier (one read and one send per exchange, no extra buffering
// or wake-ups), which is what lets one thread serve thousands of clients.
#pragma once

#include "controller/core/control_engine.h"

#include <QTcpServer>

#include <unordered_set>

namespace tarrow::ctrl {

class QtControlServer : public QTcpServer {
public:
    explicit QtControlServer(ControlEngine& engine, QObject* parent = nullptr);
    ~QtControlServer() override;
    // Listens on every IPv4 address at port (0: any free port). False with a reason on failure.
    bool listenOn(std::uint16_t port, QString& error);
    std::uint16_t port() const { return serverPort(); }
    // Connections not yet fully closed.
    std::size_t openConnections() const { return links_.size(); }
    void stopListening() { close(); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Link;
    friend class Link;
    void finished(Link* link);

    // Pause after a failed accept (out of descriptors), instead of retrying at once.
    static constexpr int kAcceptBackOffMs = 100;

    ControlEngine& engine_;
    std::unordered_set<Link*> links_;
    bool acceptFailing_ = false;  // the last accept failed; told once until one succeeds
};

}  // namespace tarrow::ctrl
