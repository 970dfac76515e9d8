// The control socket's semantics over a scripted transport.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/net/client_socket.h"
#include "tests/support/fake_tcp_transport.h"

namespace {

using tarrow::ClientSocket;
using tarrow::FakeTcpTransport;
using tarrow::SocketError;
using tarrow::WriteResult;

class ClientSocketTest : public ::testing::Test {
protected:
    ClientSocketTest() {
        socket.setHandlers({[this] { events.push_back("connected"); }, [this] { events.push_back("lost"); },
                            [this](const std::string& bytes) { events.push_back("read:" + bytes); },
                            [this](const std::string& text) { events.push_back("error:" + text); }});
    }

    void connectTo(const std::string& host) {
        socket.setHost(host);
        socket.open();
        transport.raiseConnected();
    }

    FakeTcpTransport transport;
    ClientSocket socket{transport, 2308};
    std::vector<std::string> events;
};

TEST_F(ClientSocketTest, OpenConnectsToHostAtFixedPortOnceWhileActive) {
    socket.setHost("127.0.0.5");
    socket.open();
    EXPECT_TRUE(socket.connecting());
    socket.open();
    transport.raiseConnected();
    socket.open();
    ASSERT_EQ(transport.connects.size(), 1U);
    EXPECT_EQ(transport.connects[0], (FakeTcpTransport::Endpoint{"127.0.0.5", 2308}));
    EXPECT_TRUE(socket.connected());
    EXPECT_EQ(events, std::vector<std::string>{"connected"});
}

TEST_F(ClientSocketTest, HostChangeRefusedWhileConnectedButSameHostAccepted) {
    connectTo("127.0.0.5");
    EXPECT_NO_THROW(socket.setHost("127.0.0.5"));
    try {
        socket.setHost("127.0.0.6");
        FAIL() << "a host change while connected must be refused";
    } catch (const SocketError& e) {
        EXPECT_STREQ(e.what(), "Can't change value while socket is active");
    }
    EXPECT_EQ(socket.host(), "127.0.0.5");
    EXPECT_TRUE(socket.connected());
    EXPECT_EQ(transport.closeCount, 0);
}

TEST_F(ClientSocketTest, NewerHostWhilePendingAbandonsTheFirstAttempt) {
    socket.setHost("127.0.0.5");
    socket.open();
    socket.setHost("127.0.0.6");
    socket.open();
    EXPECT_EQ(transport.closeCount, 1);
    ASSERT_EQ(transport.connects.size(), 2U);
    EXPECT_EQ(transport.connects[1].host, "127.0.0.6");
    transport.raiseConnected();
    EXPECT_EQ(socket.host(), "127.0.0.6");
    EXPECT_EQ(events, std::vector<std::string>{"connected"});
}

TEST_F(ClientSocketTest, FailedAttemptReportsErrorAndReturnsToInactive) {
    socket.setHost("127.0.0.5");
    socket.open();
    transport.raiseConnectFailed("Connection refused");
    EXPECT_FALSE(socket.active());
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events[0], "error:Can't connect to 127.0.0.5:2308: Connection refused");
    socket.open();
    EXPECT_EQ(transport.connects.size(), 2U);
}

TEST_F(ClientSocketTest, CloseRunsLostOnlyForAnEstablishedConnection) {
    socket.setHost("127.0.0.5");
    socket.open();
    socket.close();
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(socket.active());

    connectTo("127.0.0.5");
    socket.close();
    EXPECT_EQ(events, (std::vector<std::string>{"connected", "lost"}));
    socket.close();
    EXPECT_EQ(events.size(), 2U);
}

TEST_F(ClientSocketTest, SilentCloseAndDestructionRunNoHandler) {
    connectTo("127.0.0.5");
    socket.closeSilently();
    EXPECT_EQ(events, std::vector<std::string>{"connected"});
    EXPECT_EQ(transport.closeCount, 1);

    {
        FakeTcpTransport other;
        bool lost = false;
        {
            ClientSocket temporary(other, 2308);
            temporary.setHandlers({{}, [&] { lost = true; }, {}, {}});
            temporary.setHost("127.0.0.5");
            temporary.open();
            other.raiseConnected();
        }
        EXPECT_FALSE(lost);
        EXPECT_EQ(other.closeCount, 1);
        EXPECT_FALSE(other.hasHandlers());
    }
}

TEST_F(ClientSocketTest, PeerClosesOrderlyOrWithErrorBothCountAsLost) {
    connectTo("127.0.0.5");
    transport.raiseClosed();
    EXPECT_EQ(events, (std::vector<std::string>{"connected", "lost"}));

    events.clear();
    connectTo("127.0.0.5");
    transport.raiseClosed("Connection reset by peer");
    EXPECT_EQ(events,
              (std::vector<std::string>{
                  "connected", "lost", "error:Connection to 127.0.0.5:2308 ended: Connection reset by peer"}));
    EXPECT_FALSE(socket.active());
}

TEST_F(ClientSocketTest, ReadsAreHandedOnWholeAndEmptyReadsIgnored) {
    transport.raiseReadable("Uearly");  // not connected: nothing to dispatch
    connectTo("127.0.0.5");
    transport.raiseReadable("");
    transport.raiseReadable("Ua,b,c,d,e\r\nUf,g,h,i,j");
    EXPECT_EQ(events, (std::vector<std::string>{"connected", "read:Ua,b,c,d,e\r\nUf,g,h,i,j"}));
}

TEST_F(ClientSocketTest, SendWritesExactlyTheTextOnlyWhenConnected) {
    socket.send("R1");
    socket.setHost("127.0.0.5");
    socket.open();
    socket.send("R1");
    EXPECT_TRUE(transport.writes.empty());
    transport.raiseConnected();
    socket.send(std::string("R0x\0y", 5));
    ASSERT_EQ(transport.writes.size(), 1U);
    EXPECT_EQ(transport.writes[0], std::string("R0x\0y", 5));
}

TEST_F(ClientSocketTest, FailedSendClosesThroughLostThenThrows) {
    connectTo("127.0.0.5");
    transport.failNextWrite(WriteResult::Failed, "Broken pipe");
    try {
        socket.send("R1");
        FAIL() << "a failed send must throw";
    } catch (const SocketError& e) {
        EXPECT_EQ(std::string(e.what()), "Send to 127.0.0.5:2308 failed: Broken pipe");
        // The lost handling has already run when the sender hears of the failure.
        EXPECT_EQ(events, (std::vector<std::string>{"connected", "lost"}));
    }
    EXPECT_FALSE(socket.active());
    EXPECT_EQ(transport.closeCount, 1);
}

TEST_F(ClientSocketTest, SendThatWouldBlockIsReportedAndKeepsTheConnection) {
    connectTo("127.0.0.5");
    transport.failNextWrite(WriteResult::WouldBlock);
    EXPECT_THROW(socket.send("R1"), SocketError);
    EXPECT_TRUE(socket.connected());
    EXPECT_EQ(events, std::vector<std::string>{"connected"});
    socket.send("R1");
    EXPECT_EQ(transport.writes, std::vector<std::string>{"R1"});
}

TEST_F(ClientSocketTest, PeerAddressOnlyWhileConnected) {
    EXPECT_EQ(socket.peerAddress(), "");
    connectTo("127.0.0.5");
    EXPECT_EQ(socket.peerAddress(), "127.0.0.1");
}

TEST_F(ClientSocketTest, LateReportsOfAnAbandonedAttemptAreIgnored) {
    socket.setHost("127.0.0.5");
    socket.open();
    socket.close();
    transport.raiseConnected();
    transport.raiseConnectFailed();
    transport.raiseClosed("reset");
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(socket.active());
}

}  // namespace
