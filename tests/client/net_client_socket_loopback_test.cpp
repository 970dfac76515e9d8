// The control socket over the real Qt transport and real sockets on 127.0.0.1: the controller's
// side is a QTcpServer on a free port. Every wait is bounded.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "client/net/client_socket.h"
#include "client/qt/qt_tcp_transport.h"

namespace {

using tarrow::ClientSocket;
using tarrow::SocketError;

constexpr int kWaitMs = 5000;

bool pumpUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
    QElapsedTimer spent;
    spent.start();
    while (!done() && spent.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

TEST(ClientSocketLoopbackTest, CredentialsInReplyOutAndOrderlyCloseByController) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress("127.0.0.1"), 0)) << server.errorString().toStdString();
    tarrow::qt::QtTcpTransport transport{kWaitMs};
    ClientSocket socket(transport, server.serverPort());
    std::vector<std::string> events;
    std::string received;
    socket.setHandlers({[&] { events.push_back("connected"); }, [&] { events.push_back("lost"); },
                        [&](const std::string& bytes) { received += bytes; },
                        [&](const std::string& text) { events.push_back("error:" + text); }});
    socket.setHost("127.0.0.1");
    socket.open();
    ASSERT_TRUE(pumpUntil([&] { return socket.connected() && server.hasPendingConnections(); }));
    QTcpSocket* peer = server.nextPendingConnection();
    EXPECT_THROW(socket.setHost("127.0.0.2"), SocketError);

    const std::string packet = "Ualice,secret,Tree,Users.Vantric,srv1";
    peer->write(packet.data(), static_cast<qint64>(packet.size()));
    ASSERT_TRUE(pumpUntil([&] { return received.size() >= packet.size(); })) << received;
    EXPECT_EQ(received, packet);

    socket.send("R1");
    ASSERT_TRUE(pumpUntil([&] { return peer->bytesAvailable() >= 2; }));
    EXPECT_EQ(peer->readAll().toStdString(), "R1");

    peer->disconnectFromHost();
    ASSERT_TRUE(pumpUntil([&] { return !socket.active(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"connected", "lost"}));
    socket.send("R1");  // not connected: nothing, no error
}

TEST(ClientSocketLoopbackTest, RefusedAttemptIsReportedAndLeavesSocketInactive) {
    // A port that was just free: nobody listens there any more.
    std::uint16_t port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress("127.0.0.1"), 0));
        port = probe.serverPort();
    }
    tarrow::qt::QtTcpTransport transport{kWaitMs};
    ClientSocket socket(transport, port);
    std::vector<std::string> errors;
    bool connected = false;
    socket.setHandlers(
        {[&] { connected = true; }, {}, {}, [&](const std::string& text) { errors.push_back(text); }});
    socket.setHost("127.0.0.1");
    socket.open();
    ASSERT_TRUE(pumpUntil([&] { return !errors.empty(); }));
    EXPECT_FALSE(connected);
    EXPECT_FALSE(socket.active());
    EXPECT_EQ(errors[0].rfind("Can't connect to 127.0.0.1:" + std::to_string(port) + ": ", 0), 0U) << errors[0];
}

TEST(ClientSocketLoopbackTest, HardCloseByControllerRunsLost) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress("127.0.0.1"), 0)) << server.errorString().toStdString();
    tarrow::qt::QtTcpTransport transport{kWaitMs};
    ClientSocket socket(transport, server.serverPort());
    std::vector<std::string> events;
    socket.setHandlers({[&] { events.push_back("connected"); },
                        [&] { events.push_back("lost"); },
                        {},
                        [&](const std::string&) { events.push_back("error"); }});
    socket.setHost("127.0.0.1");
    socket.open();
    ASSERT_TRUE(pumpUntil([&] { return socket.connected() && server.hasPendingConnections(); }));
    QTcpSocket* peer = server.nextPendingConnection();
    peer->abort();  // a hard close: with nothing unsent this may reach us as an orderly end or a reset
    ASSERT_TRUE(pumpUntil([&] { return !socket.active(); }));
    ASSERT_GE(events.size(), 2U);
    EXPECT_EQ(events[0], "connected");
    EXPECT_EQ(events[1], "lost");
}

TEST(ClientSocketLoopbackTest, ClientCloseRunsLostOnceAndPeerSeesTheEnd) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress("127.0.0.1"), 0)) << server.errorString().toStdString();
    tarrow::qt::QtTcpTransport transport{kWaitMs};
    ClientSocket socket(transport, server.serverPort());
    int lost = 0;
    socket.setHandlers({{}, [&] { ++lost; }, {}, {}});
    socket.setHost("127.0.0.1");
    socket.open();
    ASSERT_TRUE(pumpUntil([&] { return socket.connected() && server.hasPendingConnections(); }));
    QTcpSocket* peer = server.nextPendingConnection();
    socket.close();
    ASSERT_TRUE(pumpUntil([&] { return peer->state() == QAbstractSocket::UnconnectedState; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(lost, 1);
}

}  // namespace
