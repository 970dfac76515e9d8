// The TCP adapter against a QTcpServer on 127.0.0.1, port 0.
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/qt/qt_tcp_transport.h"
#include "tests/qt/qt_test_support.h"

using tarrow::WriteResult;
using tarrow::qt::QtTcpTransport;
using tarrow::qt::test::pumpFor;
using tarrow::qt::test::pumpUntil;

namespace {

// Records every handler call of a transport.
struct Events {
    int connected = 0;
    std::string read;
    int closed = 0;
    std::string closedText;
    int failed = 0;
    std::string failedText;

    void attach(QtTcpTransport& transport) {
        transport.setHandlers({
            [this] { ++connected; },
            [this](const std::string& bytes) { read += bytes; },
            [this](const std::string& text) { ++closed, closedText = text; },
            [this](const std::string& text) { ++failed, failedText = text; },
        });
    }
};

class QtTcpTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0)) << server.errorString().toStdString();
    }

    // Connects the transport and returns the server's side of the connection.
    QTcpSocket* connectPeer() {
        events.attach(transport);
        transport.connectTo("127.0.0.1", server.serverPort());
        if (!pumpUntil([&] { return events.connected == 1 && server.hasPendingConnections(); }, 5000))
            return nullptr;
        return server.nextPendingConnection();
    }

    QTcpServer server;
    QtTcpTransport transport;
    Events events;
};

}  // namespace

TEST_F(QtTcpTransportTest, ConnectsAndNamesThePeer) {
    QTcpSocket* peer = connectPeer();
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(transport.peerAddress(), "127.0.0.1");
    EXPECT_EQ(events.failed, 0);
}

TEST_F(QtTcpTransportTest, DeliversWaitingBytesAndWritesWholeTexts) {
    QTcpSocket* peer = connectPeer();
    ASSERT_NE(peer, nullptr);
    peer->write("Uuser,pw,tree,ctx,srv");
    ASSERT_TRUE(pumpUntil([&] { return events.read.size() == 21; }, 5000));
    EXPECT_EQ(events.read, "Uuser,pw,tree,ctx,srv");

    EXPECT_EQ(transport.write("R1"), WriteResult::Written);
    ASSERT_TRUE(pumpUntil([&] { return peer->bytesAvailable() >= 2; }, 5000));
    EXPECT_EQ(peer->readAll().toStdString(), "R1");
}

TEST_F(QtTcpTransportTest, AnOrderlyCloseByThePeerReportsEmptyTextAfterTheLastBytes) {
    QTcpSocket* peer = connectPeer();
    ASSERT_NE(peer, nullptr);
    peer->write("F");
    peer->disconnectFromHost();
    ASSERT_TRUE(pumpUntil([&] { return events.closed == 1; }, 5000));
    EXPECT_EQ(events.read, "F");
    EXPECT_EQ(events.closedText, "");
    pumpFor(50);
    EXPECT_EQ(events.closed, 1);
    EXPECT_EQ(transport.write("R1"), WriteResult::Failed);
}

TEST_F(QtTcpTransportTest, AResetByThePeerReportsItsErrorText) {
    QTcpSocket* peer = connectPeer();
    ASSERT_NE(peer, nullptr);
    // Unread bytes in the peer's buffer make its close a reset.
    ASSERT_EQ(transport.write("unread"), WriteResult::Written);
    ASSERT_TRUE(pumpUntil([&] { return peer->bytesAvailable() > 0; }, 5000));
    peer->abort();
    ASSERT_TRUE(pumpUntil([&] { return events.closed == 1; }, 5000));
    // Whether the kernel reports a reset or a plain close depends on timing; either is a close.
    EXPECT_EQ(events.failed, 0);
}

TEST_F(QtTcpTransportTest, CloseByTheLogicRunsNoHandler) {
    QTcpSocket* peer = connectPeer();
    ASSERT_NE(peer, nullptr);
    transport.close();
    ASSERT_TRUE(pumpUntil([&] { return peer->state() == QAbstractSocket::UnconnectedState; }, 5000));
    pumpFor(50);
    EXPECT_EQ(events.closed, 0);
    EXPECT_EQ(transport.write("R1"), WriteResult::Failed);
}

TEST_F(QtTcpTransportTest, ARefusedConnectionReportsConnectFailedAndCanBeRetried) {
    const quint16 closedPort = server.serverPort();
    server.close();
    events.attach(transport);
    transport.connectTo("127.0.0.1", closedPort);
    ASSERT_TRUE(pumpUntil([&] { return events.failed == 1; }, 5000));
    EXPECT_FALSE(events.failedText.empty());
    EXPECT_EQ(transport.errorText(), events.failedText);
    EXPECT_EQ(events.connected, 0);
    EXPECT_EQ(transport.write("R1"), WriteResult::Failed);

    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    transport.connectTo("127.0.0.1", server.serverPort());
    EXPECT_TRUE(pumpUntil([&] { return events.connected == 1; }, 5000));
    EXPECT_EQ(events.failed, 1);
}

TEST_F(QtTcpTransportTest, AnAttemptThatGetsNoAnswerFailsWithinItsBound) {
    // A listener whose backlog is full leaves further attempts unanswered.
    QtTcpTransport slow(200);
    Events slowEvents;
    slowEvents.attach(slow);
    server.setMaxPendingConnections(0);
    server.pauseAccepting();
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 64; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, server.serverPort());
    }
    pumpFor(50);
    slow.connectTo("127.0.0.1", server.serverPort());
    ASSERT_TRUE(pumpUntil([&] { return slowEvents.failed + slowEvents.connected > 0; }, 5000));
    // A kernel that still completes the handshake is allowed; one that does not must time out.
    if (slowEvents.failed) {
        EXPECT_FALSE(slowEvents.failedText.empty());
    }
}

TEST_F(QtTcpTransportTest, ReconnectingReplacesAPendingAttemptSilently) {
    events.attach(transport);
    transport.connectTo("127.0.0.1", server.serverPort());
    transport.connectTo("127.0.0.1", server.serverPort());
    ASSERT_TRUE(pumpUntil([&] { return events.connected >= 1; }, 5000));
    pumpFor(50);
    EXPECT_EQ(events.connected, 1);
    EXPECT_EQ(events.failed, 0);
    EXPECT_EQ(events.closed, 0);
}

TEST_F(QtTcpTransportTest, WritesToAPeerThatDoesNotReadAreBoundedAndReportedAsWouldBlock) {
    QTcpSocket* peer = connectPeer();
    ASSERT_NE(peer, nullptr);
    // Without the event loop nothing reaches the system, so every write stays queued.
    const std::string reply(1000, 'R');
    int written = 0;
    WriteResult result = WriteResult::Written;
    while (written < 1000 && (result = transport.write(reply)) == WriteResult::Written) ++written;
    EXPECT_EQ(result, WriteResult::WouldBlock);
    EXPECT_EQ(written, static_cast<int>(QtTcpTransport::kMaxQueuedBytes / reply.size()));
    EXPECT_LE(transport.queuedBytes(), QtTcpTransport::kMaxQueuedBytes);
    // Once the queue has gone out, the connection takes writes again.
    ASSERT_TRUE(pumpUntil([&] { return transport.queuedBytes() == 0; }, 5000));
    EXPECT_EQ(transport.write(reply), WriteResult::Written);
    EXPECT_EQ(events.closed, 0);
}
