// TCP listener of the control channel: accepts clients and hands their bytes to the engine.
#pragma once

#include "controller/core/control_engine.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <unordered_map>

namespace tarrow::ctrl {

class QtControlServer : public QObject {
public:
    explicit QtControlServer(ControlEngine& engine, QObject* parent = nullptr);
    ~QtControlServer() override;
    // Listens on every IPv4 address at port (0: any free port). False with a reason on failure.
    bool listen(std::uint16_t port, QString& error);
    std::uint16_t port() const { return server_.serverPort(); }
    // Connections not yet fully closed.
    std::size_t openConnections() const { return links_.size(); }
    void stopListening() { server_.close(); }

private:
    class Link;
    void acceptPending();
    void readFrom(Link& link);
    void closed(QTcpSocket* socket);

    ControlEngine& engine_;
    QTcpServer server_;
    std::unordered_map<QTcpSocket*, std::unique_ptr<Link>> links_;
};

}  // namespace tarrow::ctrl
